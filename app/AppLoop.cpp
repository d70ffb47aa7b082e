// The main loop and the App timers.

// Python's headers go before Qt's, whose "slots" macro they use as a name.
#include "python/Python.h"

#include "app/App.h"
#include "app/MainLoop.h"
#include "core/Logger.h"
#include "gui/ImageManager.h"
#include "packages/PackageManager.h"

#include <set>

uint32_t App::run() {
    MainLoop loop;
    // A stop signal that came during start-up is seen at the first pass; one
    // that comes while a box is open ends the program all the same.
    loop.watchUrgentEvent(stopSignal_.handle(), [this] { onStopSignal(); });
    // The console shows new records when the log event fires; until it
    // exists the event only wakes the loop.
    loop.watchEvent(logEvent_.handle(), [this] {
        if (logRecordsHandler_)
            logRecordsHandler_();
    });
    loop.watchEvent(timers_.event().handle(), [] {});
    loop.watchEvent(networkEvent_.handle(), [this] { onNetworkSettingsChanged(); });
    loop.setPass([this] {
        processTimers();
        return timers_.waitTime();
    });
    watchInternetSettings();
    const int code = loop.exec();
    // From here on a stop signal ends the process at once.
    stopSignals_.reset();
    return static_cast<uint32_t>(code);
}

// Ends the loop like "--exit".
void App::onStopSignal() {
    wstr text;
    logMessage(
        Logger::Info,
        wstr::format(text, L"Received {}; shutting down.",
                     wstr::fromUtf8(Platform::signalName(Platform::StopSignals::lastSignal()))));
    onInstanceMessage(messageExit);
}

void App::postQuitMessage(int code) {
    MainLoop::postQuit(code);
}

void App::setTimer(uint32_t id, uint32_t delayMs) {
    timers_.set(id, delayMs);
}

bool App::postMainWindowCommand(uint32_t commandId) {
    if (!mainCommands_.post(commandId))
        return false;
    setTimer(TimerMainCommands, 0);
    return true;
}

void App::runMainWindowCommands() {
    for (uint32_t command : mainCommands_.take()) {
        if (windows_ && windows_->onMainWindowCommand(command))
            continue;
        wstr text;
        logMessage(Logger::Error,
                   wstr::format(text, L"Command {} was not carried out: there is no main window",
                                command));
    }
}

void App::processTimers() {
    const AppTimers::Due due = timers_.takeDue();
    std::set<uint32_t> done;
    for (uint32_t id : due.ids) {
        if (done.insert(id).second)
            runTimer(id);
    }
    if (due.trayId && windows_)
        windows_->onTimer(*due.trayId);
}

void App::runTimer(uint32_t id) {
    switch (id) {
    case TimerEnvironment:
        onEnvironmentTimer();
        break;
    case TimerDesktopChanged:
        broadcastEvents(PluginMsg::desktopChanged);
        break;
    case TimerStartMenuChanged:
        broadcastEvents(PluginMsg::startMenuChanged);
        break;
    case TimerConfigFilesChanged:
        if (const uint32_t events = reloadConfig()) {
            if (auto manager = packageManager())
                manager->reloadPackageSettings(events);
        }
        break;
    case TimerReloadAll:
        // A requested reload applies the settings again also when they are
        // the same: a hot key another program held may be free by now.
        if (!reloadConfig() && windows_)
            windows_->onConfigChanged();
        if (auto images = imageManager())
            images->reset();
        if (auto manager = packageManager())
            manager->invalidatePackageSettings();
        broadcastEvents(PluginMsg::appConfigChanged | PluginMsg::packageConfigChanged);
        break;
    case TimerSaveState:
        state_.save();
        break;
    case TimerMonitors:
        state_.monitors.describe();
        if (windows_)
            windows_->onTimer(id);
        break;
    case TimerWatchNetwork:
        watchInternetSettings();
        break;
    case TimerMainCommands:
        runMainWindowCommands();
        break;
    case TimerNetworkChanged:
        reloadConfig();
        broadcastEvents(PluginMsg::appConfigChanged | PluginMsg::internetSettingsChanged);
        watchInternetSettings();
        break;
    case TimerTrayMenu:
    case TimerSearch:
    case TimerActions:
    case TimerIcons:
    case TimerActivate:
        if (windows_)
            windows_->onTimer(id);
        break;
    default:
        break;
    }
}

void App::onEnvironmentTimer() {
    std::map<wstr, wstr> environment;
    if (reloadEnvironment(&environment) != 1)
        return;
    logMessage(Logger::Info, L"Environment changed.");
    if (Py_IsInitialized())
        Python::syncEnviron(environment);
    const uint32_t events = reloadConfig();
    if (auto manager = packageManager())
        manager->reloadPackageSettings(PluginMsg::environmentChanged | events);
}

void App::broadcastEvents(uint32_t flags) {
    if (auto manager = packageManager())
        manager->broadcastMessage(PluginMsg::kindEvents, PluginMsg::Data::eventFlags(flags));
}

void App::watchInternetSettings() {
    if (networkWatchArmed_)
        return;
    networkWatchArmed_ = networkWatch_->arm(networkEvent_.handle());
    if (!networkWatchArmed_)
        setTimer(TimerWatchNetwork, 1000);
}

void App::setNetworkSettingsWatch(std::unique_ptr<NetworkSettingsWatch> watch) {
    if (networkWatchArmed_)
        networkWatch_->disarm();
    networkWatch_ = std::move(watch);
    networkWatchArmed_ = false;
}

void App::onNetworkSettingsChanged() {
    networkWatch_->disarm();
    networkWatchArmed_ = false;
    if (reloadConfig())
        setTimer(TimerNetworkChanged, 1000);
    else
        setTimer(TimerWatchNetwork, 50);
}
