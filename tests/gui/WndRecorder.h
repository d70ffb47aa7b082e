#pragma once

#include "gui/Wnd.h"

#include <QApplication>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "tests/support/QtTestApp.h"

namespace qvtest {

struct Message {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};

// A window that records its messages and lets a test handle some of them:
// the handler's value is the message's result, nullopt passes it on.
class WndRecorder : public Gui::Wnd {
public:
    using Handler = std::function<std::optional<intptr_t>(uint32_t, uintptr_t, intptr_t)>;

    intptr_t wndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        messages.push_back({message, wParam, lParam});
        if (handler)
            if (std::optional<intptr_t> result = handler(message, wParam, lParam))
                return messageResult(*result);
        return Gui::Wnd::wndProc(message, wParam, lParam);
    }

    std::vector<uint32_t> received(uint32_t message) const {
        std::vector<uint32_t> found;
        for (const Message& m : messages)
            if (m.message == message)
                found.push_back(m.message);
        return found;
    }
    bool got(uint32_t message) const { return !received(message).empty(); }

    std::vector<Message> messages;
    Handler handler;
};

} // namespace qvtest
