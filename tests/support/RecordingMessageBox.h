#pragma once

#include "core/MessageBox.h"
#include "core/Mutex.h"

#include <functional>
#include <memory>
#include <vector>

namespace qvtest {

// A message box service that shows nothing: it records each box and gives a
// fixed answer. Installed for its lifetime by RecordingMessageBox::Installed.
class RecordingMessageBox : public MessageBox {
public:
    struct Shown {
        wstr text;
        wstr caption;
        uint32_t style = 0;
    };

    explicit RecordingMessageBox(int answer = IDOK) : answer_(answer) {}

    int show(const wstr& text, const wstr& caption, uint32_t style) override {
        std::function<void()> probe;
        {
            Mutex::Lock lock(mutex_);
            shown_.push_back({text, caption, style});
            probe = probe_;
        }
        if (probe)
            probe();
        return answer_;
    }

    // Runs on the showing thread while each later box is shown.
    void setProbe(std::function<void()> probe) {
        Mutex::Lock lock(mutex_);
        probe_ = std::move(probe);
    }

    std::vector<Shown> shown() {
        Mutex::Lock lock(mutex_);
        return shown_;
    }

    // Installs a fresh recorder and puts the previous service back at the end.
    class Installed {
    public:
        explicit Installed(int answer = IDOK)
            : box(std::make_shared<RecordingMessageBox>(answer)), previous_(install(box)) {}
        ~Installed() { install(previous_); }
        Installed(const Installed&) = delete;
        Installed& operator=(const Installed&) = delete;

        const std::shared_ptr<RecordingMessageBox> box;

    private:
        std::shared_ptr<MessageBox> previous_;
    };

private:
    const int answer_;
    Mutex mutex_;
    std::vector<Shown> shown_;
    std::function<void()> probe_;
};

} // namespace qvtest
