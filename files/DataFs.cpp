#include "files/DataFs.h"

// portable.ini is decoded to UTF-8 before it is parsed.
#define SI_NO_CONVERSION
#include <SimpleIni.h>
#include <stdexcept>

#include "core/Format.h"
#include "core/Path.h"
#include "core/SysEnv.h"
#include "core/SysFile.h"
#include "core/SysInfo.h"
#include "core/SysKnownFolder.h"
#include "core/Utf.h"

namespace {

constexpr uint64_t portableIniLimit = 16777216;

const wstr& portableIniName() {
    static const wstr name(L"portable.ini");
    return name;
}

const wstr& portableDirKey() {
    static const wstr key(L"portable_dir");
    return key;
}

bool isFolder(const wstr& path) {
    return Sys::isDirectory(path) == 1;
}

bool isFile(const wstr& path) {
    return Sys::isDirectory(path) == 0;
}

// The folder that holds the program's bin/x64 folder: three parents up, each
// of which must exist.
wstr findInstallFolder(const wstr& programFile) {
    wstr folder = programFile;
    for (int i = 0; i < 3; ++i) {
        folder = Path::parent(folder);
        if (!isFolder(folder))
            throw std::runtime_error(
                "Failed to find install folder. Please reinstall the application.");
    }
    return folder;
}

// The named subfolder when it exists, else empty.
wstr existingFolder(const wstr& parent, std::wstring_view name) {
    wstr folder = Path::combine(parent, name);
    return isFolder(folder) ? folder : wstr();
}

// Called on freshly cleared folders: what is missing stays empty.
void resolveDefaultFolders(DataFs::Folders& f) {
    f.defaultDir = existingFolder(f.install, L"default");
    if (f.defaultDir.empty())
        return;
    f.defaultApp = existingFolder(f.defaultDir, L"App");
    f.defaultPackages = existingFolder(f.defaultDir, L"Packages");
}

// The folder named by portable.ini's portable_dir, which must exist.
wstr readPortableIni(const wstr& install, const wstr& iniPath) {
    std::string text;
    try {
        Utf::readTextFile(text, iniPath, portableIniLimit);
    } catch (const std::exception& e) {
        throw std::runtime_error(formatNarrow("Failed to decode {}. Error: {}", iniPath, e.what()));
    }
    CSimpleIniA ini(true, false, false);
    if (ini.LoadData(text.data(), text.size()) < 0)
        throw std::runtime_error(formatNarrow("Failed to parse {}", iniPath));
    auto key = wstr::toUtf8(portableDirKey());
    const char* value = ini.GetValue("", key.c_str(), nullptr);
    if (!value)
        throw std::runtime_error(formatNarrow(
            "{} file found but does not contain a {} value.\nPlease delete the file or specify a "
            "{} value.",
            portableIniName(), portableDirKey(), portableDirKey()));
    wstr folder = Sys::expandEnvVars(wstr::fromUtf8(value));
    if (!Path::isRooted(folder))
        folder = Path::combine(install, folder);
    if (!isFolder(folder))
        throw std::runtime_error(
            formatNarrow("The {} specified in {} was not found or is not a directory:\n{}",
                         portableDirKey(), iniPath, folder));
    return folder;
}

// Portable mode: the folder holding Local and Profile, or empty.
wstr portableFolder(const wstr& install) {
    auto iniPath = Path::combine(install, portableIniName());
    if (isFile(iniPath))
        return readPortableIni(install, iniPath);
    return existingFolder(install, L"portable");
}

wstr knownFolder(Sys::KnownFolder folder, const char* name) {
    int32_t hresult = 0;
    wstr path = Sys::knownFolderPath(folder, false, &hresult);
    if (path.empty())
        Sys::throwHresultError(
            hresult, formatNarrow("Failed to get the location of system's {} folder", name));
    return path;
}

void createFolder(const wstr& path, bool withParents) {
    if (isFolder(path))
        return;
    Sys::createDirectories(path, withParents);
    if (!isFolder(path))
        throw std::runtime_error(formatNarrow("Failed to create directory at: {}", path));
}

wstr lower(const wstr& text) {
    return wstr::lowerCopy(text);
}

wstr joinParts(const wstr& folder, std::initializer_list<wstr> parts) {
    wstr path = folder;
    auto it = parts.begin();
    Path::join(path, *it);
    for (++it; it != parts.end(); ++it)
        path += *it;
    return path;
}

} // namespace

const wstr& appName() {
    static const wstr name(L"quorvalent");
    return name;
}

const wstr& DataFs::appTitle() {
    static const wstr name(L"Quorvalent");
    return name;
}

const wstr& DataFs::appWebsite() {
    static const wstr url(L"https://quorvalent.org/");
    return url;
}

const wstr& DataFs::appDocumentation() {
    static const wstr url = appWebsite() + L"docs/";
    return url;
}

const wstr& DataFs::packageExtensionSuffix() {
    static const wstr suffix = appName() + L"-package";
    return suffix;
}

const wstr& DataFs::iniExtension() {
    static const wstr word(L"ini");
    return word;
}

const wstr& DataFs::pyExtension() {
    static const wstr word(L"py");
    return word;
}

const wstr& DataFs::editorName() {
    static const wstr word(L"Notepad2");
    return word;
}

bool DataFs::resolveFolders(Folders& folders) {
    return resolveFolders(Sys::moduleFilePath(), folders);
}

bool DataFs::locateFolders(Folders& folders) {
    return locateFolders(Sys::moduleFilePath(), folders);
}

bool DataFs::resolveFolders(const wstr& programFile, Folders& f) {
    const bool portable = locateFolders(programFile, f);
    // The XDG base folders may not exist yet on a fresh account.
    createFolder(f.local, !portable);
    createFolder(f.localApp, false);
    createFolder(f.localPackages, false);
    createFolder(f.profile, !portable);
    createFolder(f.profileUser, false);
    createFolder(f.profileInstalledPackages, false);
    createFolder(f.profilePackages, false);
    return portable;
}

bool DataFs::locateFolders(const wstr& programFile, Folders& f) {
    f = Folders();
    f.program = programFile;
    f.install = findInstallFolder(programFile);
    f.bootstrap = Path::combine(f.install, appName());
    if (!isFile(f.bootstrap))
        throw std::runtime_error(
            "Bootstrap executable not found. Please reinstall the application.");
    resolveDefaultFolders(f);
    wstr portable = portableFolder(f.install);
    if (!portable.empty()) {
        f.local = Path::combine(portable, L"Local");
        f.profile = Path::combine(portable, L"Profile");
    } else {
        f.local =
            Path::combine(knownFolder(Sys::KnownFolder::LocalAppData, "LocalAppData"), appTitle());
        f.profile = Path::combine(knownFolder(Sys::KnownFolder::RoamingAppData, "RoamingAppData"),
                                  appTitle());
    }
    f.localApp = Path::combine(f.local, L"App");
    f.localPackages = Path::combine(f.local, L"Packages");
    f.profileInstalledPackages = Path::combine(f.profile, L"InstalledPackages");
    f.profilePackages = Path::combine(f.profile, L"Packages");
    f.profileUser = Path::combine(f.profile, L"User");
    return !portable.empty();
}

wstr DataFs::logFilePath(const Folders& f) {
    return joinParts(f.local, {appTitle(), L".", lower(Sys::computerName()), L".log"});
}

wstr DataFs::catalogFilePath(const Folders& f) {
    return joinParts(f.local, {appTitle(), L".", lower(Sys::computerName()), L".catalog"});
}

wstr DataFs::stateFilePath(const Folders& f, bool perUser) {
    if (!perUser)
        return joinParts(f.local, {appTitle(), L".state"});
    return joinParts(f.local, {appTitle(), L".", lower(Sys::userName()), L"@",
                               lower(Sys::computerName()), L".state"});
}

std::vector<wstr> DataFs::instanceLockPaths(const Folders& f) {
    return {joinParts(f.profile, {appTitle(), L".lock"}),
            joinParts(f.local, {appTitle(), L".lock"})};
}

wstr DataFs::editorExePath(const Folders& f) {
    return joinParts(Path::parent(f.program), {L"notepad2", L"/", editorName() + L".exe"});
}

wstr DataFs::defaultEditorConfigPath(const Folders& f) {
    return joinParts(f.defaultApp, {editorName(), L".", iniExtension()});
}

wstr DataFs::userEditorConfigPath(const Folders& f) {
    return joinParts(f.profileUser, {appTitle(), L"-", editorName(), L".", iniExtension()});
}

std::vector<wstr> DataFs::appConfigFiles(const Folders& f) {
    wstr computer = Sys::computerName();
    wstr user = Sys::userName();
    return {
        joinParts(f.defaultApp, {appTitle(), L".", iniExtension()}),
        joinParts(f.profileUser, {appTitle(), L".", iniExtension()}),
        joinParts(f.profileUser, {appTitle(), L".@", computer, L".", iniExtension()}),
        joinParts(f.profileUser, {appTitle(), L".", user, L".", iniExtension()}),
        joinParts(f.profileUser, {appTitle(), L".", user, L"@", computer, L".", iniExtension()}),
    };
}

std::vector<wstr> DataFs::configFileVariants(const wstr& base, bool variants) {
    wstr name = lower(base);
    std::vector<wstr> names{name + L"." + iniExtension()};
    if (!variants)
        return names;
    wstr computer = lower(Sys::computerName());
    wstr user = lower(Sys::userName());
    names.push_back(name + L".@" + computer + L"." + iniExtension());
    names.push_back(name + L"." + user + L"." + iniExtension());
    names.push_back(name + L"." + user + L"@" + computer + L"." + iniExtension());
    return names;
}
