#pragma once

#include "core/Wstr.h"

#include <cstdint>
#include <memory>

// The program's message boxes. Callers pass the style bits and compare the
// answers by the numbers below. One process-wide service shows them: by
// default it writes the text to stderr and returns the default answer; the
// user interface installs its own once it exists.
class MessageBox {
public:
    // Buttons.
    static constexpr uint32_t MB_OK = 0x0;
    static constexpr uint32_t MB_OKCANCEL = 0x1;
    static constexpr uint32_t MB_ABORTRETRYIGNORE = 0x2;
    static constexpr uint32_t MB_YESNOCANCEL = 0x3;
    static constexpr uint32_t MB_YESNO = 0x4;
    static constexpr uint32_t MB_RETRYCANCEL = 0x5;
    static constexpr uint32_t MB_CANCELTRYCONTINUE = 0x6;
    static constexpr uint32_t MB_TYPEMASK = 0xF;
    // Icons.
    static constexpr uint32_t MB_ICONERROR = 0x10;
    static constexpr uint32_t MB_ICONQUESTION = 0x20;
    static constexpr uint32_t MB_ICONWARNING = 0x30;
    static constexpr uint32_t MB_ICONINFORMATION = 0x40;
    static constexpr uint32_t MB_ICONMASK = 0xF0;
    // Default button: the first unless one of these says otherwise.
    static constexpr uint32_t MB_DEFBUTTON2 = 0x100;
    static constexpr uint32_t MB_DEFBUTTON3 = 0x200;
    static constexpr uint32_t MB_DEFMASK = 0xF00;
    // Above every window of the desktop.
    static constexpr uint32_t MB_SYSTEMMODAL = 0x1000;

    // Answers.
    static constexpr int IDOK = 1;
    static constexpr int IDCANCEL = 2;
    static constexpr int IDABORT = 3;
    static constexpr int IDRETRY = 4;
    static constexpr int IDIGNORE = 5;
    static constexpr int IDYES = 6;
    static constexpr int IDNO = 7;
    static constexpr int IDTRYAGAIN = 10;
    static constexpr int IDCONTINUE = 11;

    virtual ~MessageBox() = default;

    // Shows the text and returns the answer; blocks the calling thread until
    // then. Called on the thread that asks (any thread).
    virtual int show(const wstr& text, const wstr& caption, uint32_t style) = 0;

    // Shows a box whose only button is OK and returns without waiting for it
    // to be answered, so that nothing the caller does waits on a person. By
    // default it is shown as show() shows it. Any thread.
    virtual void inform(const wstr& text, const wstr& caption, uint32_t style) {
        show(text, caption, style);
    }

    // Shows a box through the installed service. Any thread.
    static int ask(const wstr& text, const wstr& caption, uint32_t style);
    // Informs through the installed service. Any thread.
    static void tell(const wstr& text, const wstr& caption, uint32_t style);
    // Makes box the service (null: the stderr default) and returns the one it
    // replaces. Any thread; a box being shown finishes on the old service.
    static std::shared_ptr<MessageBox> install(std::shared_ptr<MessageBox> box);
    // The answer of the style's default button.
    static int defaultAnswer(uint32_t style);
};

// The service while no user interface exists: "caption: text" on stderr, and
// the default answer.
class StderrMessageBox : public MessageBox {
public:
    int show(const wstr& text, const wstr& caption, uint32_t style) override;
};
