#include "windows/WindowSet.h"

#include "app/App.h"
#include "core/Logger.h"

std::unique_ptr<AppWindows> WindowSet::create(App& app) {
    return std::make_unique<WindowSet>(app);
}

WindowSet::WindowSet(App& app) : app_(app) {
    main_ = std::make_unique<WndMain>(*this, nullptr);
}

WindowSet::~WindowSet() = default;

uint32_t WindowSet::onInstanceMessage(uint32_t message) {
    return static_cast<uint32_t>(main_->sendMessage(message));
}

void WindowSet::onTimer(uint32_t id) {
    switch (id) {
    case App::TimerTrayBusy:
    case App::TimerTrayNormal: {
        // A timer only swaps the two icons, never one shown for another reason.
        const qint64 current = main_->currentIcon().cacheKey();
        if (current != main_->normalIcon().cacheKey() && current != main_->busyIcon().cacheKey())
            return;
        main_->updateTrayIcon(id == App::TimerTrayBusy ? main_->busyIcon() : main_->normalIcon(),
                              false);
        return;
    }
    default:
        return;
    }
}

void WindowSet::onConfigChanged() {
    main_->registerHotkeys(true);
}

void WindowSet::showLaunchBox(int mode) {
    wstr text;
    logMessage(Logger::Debug, wstr::format(text, L"Show the LaunchBox (mode {})", mode));
}

void WindowSet::hideLaunchBox() {
    logMessage(Logger::Debug, L"Hide the LaunchBox");
}

void WindowSet::toggleLaunchBox() {
    logMessage(Logger::Debug, L"Toggle the LaunchBox");
}

void WindowSet::toggleConsole() {
    logMessage(Logger::Debug, L"Toggle the console");
}
