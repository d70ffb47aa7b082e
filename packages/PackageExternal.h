#pragma once

#include "core/Mutex.h"
#include "core/Wstr.h"
#include "files/VDir.h"
#include "packages/Package.h"

#include <cstdint>
#include <memory>
#include <vector>

// A package of Python plugins on disk: a folder, or a zip archive named
// "<name>.quorvalent-package". The same name found in several package roots
// gives one layer per place, read through a VDir; a later layer shadows an
// earlier one. Loading hands the archives to the Python side's package
// importer, imports every top-level script and keeps the plugin instances the
// scripts define.
class PackageExternal : public Package {
public:
    // The package made of the places where the name was found, in package
    // root order; empty when none of them opens. Packages monitor thread.
    static std::shared_ptr<PackageExternal> create(const wstr& name, uint64_t revision,
                                                   const std::vector<wstr>& places);

    // The Python module of a script: "<package>.<path without .py>", with
    // '/' read as '.'. Any thread.
    static wstr moduleName(const wstr& package, const wstr& script);

    PackageExternal(const wstr& name, uint64_t revision, std::vector<std::shared_ptr<VDir>> layers);
    // Makes Python forget the package's archives. Takes the GIL.
    ~PackageExternal() override;

    // Resources, under the layers' lock; any thread.
    bool isInternal() const override { return false; }
    // The stored name in the last layer that has the resource.
    wstr findResource(const wstr& name, bool caseSensitive) override;
    wstr findResource(const wstr& name) override;
    // Every layer's names, the last layer's first; a name shadowed by a later
    // layer is listed once.
    std::vector<wstr> findResources(const wstr& pattern, bool recursive,
                                    bool caseSensitive) override;
    std::vector<wstr> findResources(const wstr& pattern, bool recursive) override;
    std::vector<VDir::EntryInfo> resourceInfo(const wstr& name, bool existingOnly) override;
    VDir::ReadResult readResource(const wstr& name, uint64_t limit, int layer) override;

    // Imports the package's scripts in name order and keeps their plugins;
    // a broken script or plugin class is logged and the others load. Takes
    // the GIL for each Python call only. Packages monitor thread.
    bool load() override;

private:
    // The layer that answers a lookup; -1 when none has the name.
    int findLayer(const wstr& name, int caseSensitive, wstr& stored);
    std::vector<wstr> listResources(const wstr& pattern, bool recursive, int caseSensitive);
    std::vector<wstr> archivePaths();
    void setUpImporter();
    void loadScript(const wstr& script);

    Mutex layersMutex_; // VDirs take one caller at a time
    const std::vector<std::shared_ptr<VDir>> layers_;
};
