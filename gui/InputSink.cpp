#include "gui/InputSink.h"

#include "gui/VirtualKey.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace Gui {
namespace {

class FocusWidgetSink : public InputSink {
public:
    bool send(const std::vector<KeyInput>& inputs) override {
        for (const KeyInput& input : inputs) {
            QWidget* target = QApplication::focusWidget();
            if (!target)
                return false;
            QKeyEvent event(input.keyUp ? QEvent::KeyRelease : QEvent::KeyPress,
                            qtKeyFromVirtualKey(input.virtualKey),
                            QApplication::keyboardModifiers(), 0, input.virtualKey, 0);
            QCoreApplication::sendEvent(target, &event);
        }
        return true;
    }
};

std::shared_ptr<InputSink>& installed() {
    static std::shared_ptr<InputSink> sink;
    return sink;
}

} // namespace

void setInputSink(std::shared_ptr<InputSink> sink) {
    installed() = std::move(sink);
}

InputSink& inputSink() {
    static FocusWidgetSink fallback;
    return installed() ? *installed() : fallback;
}

} // namespace Gui
