#include "app/AppConfig.h"

#include <boost/python.hpp>

#include <stdexcept>

#include "app/IniReader.h"
#include "core/Logger.h"
#include "core/MessageBox.h"
#include "files/DataFs.h"
#include "python/GilLock.h"
#include "python/Python.h"
#include "python/PythonIni.h"

namespace {

// A value whose reference cannot be resolved: one sentence naming the file,
// the section, the key and the reference.
class ReferenceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The settings' view of Python's configparser.
class PythonIniReader : public IniReader {
public:
    explicit PythonIniReader(const PythonIni& ini) : ini_(ini) {}
    bool hasSection(const wstr& section) const override { return ini_.hasSection(section); }
    bool hasOption(const wstr& section, const wstr& option) const override {
        return ini_.hasOption(section, option);
    }
    std::vector<wstr> sections() const override { return ini_.sections(); }
    std::vector<wstr> options(const wstr& section) const override { return ini_.options(section); }
    wstr get(const wstr& section, const wstr& option) const override {
        try {
            return ini_.get(section, option);
        } catch (const boost::python::error_already_set&) {
            wstr problem = PythonIni::takeReferenceError(section, option);
            if (problem.empty())
                throw;
            wstr sentence;
            wstr::format(sentence, L"setting \"{}\" in section [{}] of {} {}", option, section,
                         fileOf(section, option), problem);
            throw ReferenceError(wstr::toUtf8(sentence));
        }
    }
    wstr fileOf(const wstr& section, const wstr& option) const override {
        return ini_.sourceOf(section, option);
    }
    std::vector<FileOutline> outline() const override {
        std::vector<FileOutline> files;
        for (const PythonIni::Outline& source : ini_.outlines())
            files.push_back({source.source, source.sections});
        return files;
    }

private:
    const PythonIni& ini_;
};

void warnWithBox(wstr message) {
    logMessage(Logger::Warning, MessageBox::MB_ICONWARNING, nullptr, 0, std::move(message));
}

} // namespace

bool AppConfig::load(const std::vector<wstr>& files, bool reloading) {
    SettingsStore::KeyMap builtIns = settingsStore.varSection();
    std::shared_ptr<PythonIni> ini;
    try {
        ini = PythonIni::loadFile(files, std::map<wstr, wstr>(builtIns.begin(), builtIns.end()));
    } catch (const std::exception& e) {
        // A reload keeps the settings in force, so the message must not
        // promise the defaults then.
        const wchar_t* kept = reloading ? L"the settings it had" : L"the default settings";
        wstr message;
        wstr::format(message,
                     L"Your configuration could not be loaded!\n{} will continue to run with "
                     L"{}.\nError:\n{}",
                     DataFs::appTitle(), kept, wstr::fromUtf8(e.what()));
        warnWithBox(std::move(message));
        return false;
    }
    // The box waits for the user: it is shown once the GIL is let go, so that
    // Python threads run meanwhile.
    wstr failure;
    {
        GilLock gil;
        try {
            readSettings(PythonIniReader(*ini));
        } catch (const ReferenceError& e) {
            const wchar_t* outcome = reloading ? L"the settings in force stay"
                                               : L"the settings after it keep their defaults";
            wstr::format(failure, L"Error while reading app config data: {}, so {}.",
                         wstr::fromUtf8(e.what()), outcome);
        } catch (const boost::python::error_already_set&) {
            wstr::format(failure, L"Error while reading app config data: {}",
                         wstr::fromUtf8(Python::formatError().c_str()));
        }
    }
    ini.reset();
    if (failure.empty())
        return true;
    warnWithBox(std::move(failure));
    return false;
}

std::shared_ptr<AppConfig> AppConfig::reload(const std::shared_ptr<const AppConfig>& current,
                                             const std::vector<wstr>& files) {
    auto fresh = std::make_shared<AppConfig>();
    bool complete = fresh->load(files, current != nullptr);
    if (!current)
        return fresh;
    // A configuration that fails to load must not switch the settings in
    // force back to defaults (autorun removed, hot keys reset).
    if (!complete || *fresh == *current)
        return nullptr;
    return fresh;
}
