#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace Gui {

// One synthetic keyboard input.
struct KeyInput {
    uint32_t virtualKey = 0;
    bool keyUp = false;
    // Tags the program's own keys; the last repetition of Wnd::sendKey
    // carries SyntheticKeyTag.
    uintptr_t extraInfo = 0;

    bool operator==(const KeyInput&) const = default;
};

constexpr uintptr_t SyntheticKeyTag = 3599;

// Where synthetic keys go. The default delivers them as Qt key events to the
// widget that has the keyboard focus; tests install a recording one.
// User-interface thread only.
class InputSink {
public:
    virtual ~InputSink() = default;
    // Sends the inputs in order as one batch; false when they could not be
    // delivered.
    virtual bool send(const std::vector<KeyInput>& inputs) = 0;
};

// The installed sink; null brings back the default. User-interface thread.
void setInputSink(std::shared_ptr<InputSink> sink);
InputSink& inputSink();

} // namespace Gui
