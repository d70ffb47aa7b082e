#include "gui/WndClass.h"

#include "core/Format.h"
#include "gui/QtText.h"

#include <QApplication>
#include <QStyle>
#include <QWidget>

#include <map>
#include <stdexcept>

// The resources are compiled into the static library: registered explicitly
// so that the linker keeps them.
static void initGuiResources() {
    Q_INIT_RESOURCE(gui);
}

namespace Gui {
namespace {

constexpr int appIconId = 101;
constexpr uint32_t errorInvalidParameter = 87;

using Registry = std::map<Instance, std::map<wstr, std::shared_ptr<WndClass>>>;

Registry& registry() {
    static Registry classes;
    return classes;
}

uint16_t nextAtom() {
    static uint16_t last = 0xC000;
    return ++last;
}

int smallIconSize() {
    return QApplication::style() ? QApplication::style()->pixelMetric(QStyle::PM_SmallIconSize)
                                 : 16;
}

} // namespace

QIcon loadIcon(int resourceId, int size) {
    static const bool registered = (initGuiResources(), true);
    (void)registered;
    QIcon icon(QString(":/icons/%1.png").arg(resourceId));
    if (icon.isNull() || size <= 0)
        return icon;
    return QIcon(icon.pixmap(size, size));
}

WndClass::WndClass(Instance instance, const wstr& name, int iconResourceId, uint32_t classStyle)
    : instance_(instance), name_(name), classStyle_(classStyle) {
    if (name.empty())
        throw std::runtime_error(formatNarrow("Failed to register window's class {} (error {})",
                                              name, errorInvalidParameter));
    bigIcon_ = loadIcon(iconResourceId);
    smallIcon_ = loadIcon(iconResourceId, smallIconSize());
    atom_ = nextAtom();
}

void WndClass::createWindow(Wnd& object, QWidget* widget, bool isDialog) const {
    widget->setObjectName(toQString(name_));
    if (!bigIcon_.isNull())
        widget->setWindowIcon(bigIcon_);
    Wnd::create(object, widget, isDialog);
}

std::shared_ptr<WndClass> findWindowClass(const wstr& name, Instance instance) {
    Registry& classes = registry();
    auto byInstance = classes.find(instance ? instance : ownInstance());
    if (byInstance == classes.end())
        return {};
    auto byName = byInstance->second.find(name);
    return byName == byInstance->second.end() ? nullptr : byName->second;
}

std::shared_ptr<WndClass> createWindowClass(Instance instance, const wstr& name) {
    if (!instance)
        instance = ownInstance();
    if (auto found = findWindowClass(name, instance))
        return found;
    auto created = std::make_shared<WndClass>(instance, name, appIconId, 0);
    registry()[instance][name] = created;
    return created;
}

} // namespace Gui
