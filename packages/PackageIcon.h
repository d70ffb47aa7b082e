#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "core/Mutex.h"
#include "core/Wstr.h"
#include "gui/IconSource.h"
#include "gui/ImageUtil.h"

// An icon that a plugin registered through its package: a list of image
// sources from which a bitmap is drawn at whatever pixel size a window asks
// for. Sources, after normalisation (anything else is dropped):
// - "@" and an icon location ("@/usr/share/pixmaps/app.ico,0"): an icon file
//   or image file on disk (see Gui::listIconGroups);
// - "res://" and a package name and a path: a resource file of that package;
// - "cache://" and a package name and a path: a file in that package's cache
//   folder, below the local Packages folder.
// Each source caches its bitmaps per size until the icon dies. Held by
// shared pointer; created by its package, used by the images thread and the
// user-interface thread.
class PackageIcon : public Gui::IconSource {
public:
    // What an icon needs of the running program to read its "res://" and
    // "cache://" sources; the package manager provides it. Called on the
    // thread that asks for a bitmap, with the icon's lock held.
    class Resources {
    public:
        virtual ~Resources() = default;
        // Whether a package of that name (without case, any revision) is
        // loaded.
        virtual bool hasPackage(const wstr& packageName) = 0;
        // The bytes of the resource path of that package, at most limit
        // bytes; false when the package is not loaded or the read fails.
        virtual bool readResource(const wstr& packageName, const wstr& path, uint64_t limit,
                                  std::vector<uint8_t>& out) = 0;
        // The local Packages folder, which holds each package's cache folder.
        virtual wstr localPackagesFolder() = 0;
    };

    // Bytes read from one resource or cache file at most: 50 MiB.
    static constexpr uint64_t kReadLimit = 52428800;

    // Keeps the non-empty normalised sources, first occurrences in order.
    // The id's high half is the package id, its low half a hash of the kept
    // sources (0 for the whole id when none is kept: such an icon never
    // yields a bitmap). Without resources (or once they are gone, at
    // shutdown) "res://" and "cache://" sources read nothing.
    PackageIcon(uint32_t packageId, const std::vector<wstr>& sources,
                std::weak_ptr<Resources> resources = {});
    PackageIcon(const PackageIcon&) = delete;
    PackageIcon& operator=(const PackageIcon&) = delete;

    // The canonical form of a source text, or empty when it is none. The
    // scheme words and package names are lower-cased, '\' reads as '/' and
    // runs of '/' as one in resource paths; paths keep their case. Any thread.
    static wstr normalizeSource(const wstr& text);

    // Immutable: any thread.
    uint64_t id() const override { return id_; }

    // A bitmap of the icon at size x size pixels (0: an image's natural
    // size), or null when no source yields one. The exact size is preferred,
    // then the image scaled down from the next larger size, then up from the
    // next smaller. The bitmap stays valid for as long as the caller holds
    // it. Images thread and user-interface thread; reads and decodes files
    // under the icon's lock.
    Gui::Bitmap getIcon(int32_t size) override;

private:
    struct Source {
        wstr text;
        std::set<int32_t> sizes; // a size is the larger of width and height
        // The bitmap under size 0 is also stored under its width.
        std::map<int32_t, Gui::Bitmap> bitmaps;
    };

    void listSizes(Source& source);
    Gui::Bitmap bitmapFor(Source& source, int32_t wanted, int32_t imageSize);
    Gui::Bitmap load(const Source& source, int32_t wanted, int32_t imageSize);
    std::vector<uint8_t> readBytes(const wstr& text);

    Mutex mutex_;
    uint64_t id_ = 0; // set once by the constructor
    std::vector<Source> sources_;
    std::weak_ptr<Resources> resources_;
};
