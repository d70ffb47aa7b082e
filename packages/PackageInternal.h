#pragma once

#include "packages/Package.h"

// The program's own package, "Internal": no files, and plugins written in
// the program itself (the About plugin).
class PackageInternal : public Package {
public:
    explicit PackageInternal(uint64_t revision);

    // "Internal", a name the package-name rules refuse for packages on disk.
    static const wstr& packageName();

    bool isInternal() const override { return true; }
    wstr findResource(const wstr&, bool) override { return {}; }
    wstr findResource(const wstr&) override { return {}; }
    std::vector<wstr> findResources(const wstr&, bool, bool) override { return {}; }
    std::vector<wstr> findResources(const wstr&, bool) override { return {}; }
    std::vector<VDir::EntryInfo> resourceInfo(const wstr&, bool) override { return {}; }
    VDir::ReadResult readResource(const wstr&, uint64_t, int) override { return {}; }
    // Creates the About plugin. Monitor or user-interface thread.
    bool load() override;
};
