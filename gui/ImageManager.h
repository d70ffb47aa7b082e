#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "core/Event.h"
#include "core/Mutex.h"
#include "core/Thread.h"
#include "core/Wstr.h"
#include "gui/IconSource.h"
#include "gui/IconTheme.h"
#include "gui/ImageList.h"
#include "gui/ImageUtil.h"

class CatalogItem;
class QPainter;

// The program's icon service. Windows on the user-interface thread ask it
// for the icon of a catalog item at a pixel size; it answers at once from
// its caches or queues the request, which its own thread resolves: desktop
// entries, folders, the icon theme through the MIME database, the default
// application of a type or URL scheme, the configured web browser and
// package icons. Once it has resolved icons and then found no more work for
// 75 ms, it arms App timer 10, after which windows draw again and ask
// again. Failures are remembered as well, so that an item without an icon
// is resolved once. Held by shared pointer; create() starts its thread,
// stop() ends it.
class ImageManager : public std::enable_shared_from_this<ImageManager> {
public:
    // What a request answers.
    enum Status : int32_t {
        have = 0,   // the icon is there (drawn, or handed out)
        none = 1,   // there is none: no item, a negative size, a known failure
        queued = 2, // draw a placeholder and ask again after timer 10
    };

    // The App timer armed when new icons arrived.
    static constexpr uint32_t timerIcons = 10;
    // How long the images thread waits for more work before it arms it.
    static constexpr uint32_t quietMs = 75;
    // What stop() waits for in the destructor when the owner did not stop.
    static constexpr uint32_t destroyStopMs = 100;

    // Where the theme's icons come from and how large they are drawn.
    struct IconSetup {
        std::string themeName; // empty: "hicolor"
        double scale = 1.0;    // the display's scale: the list sizes are multiplied by it
        Gui::IconTheme::Dirs dirs;
    };

    // What the image manager asks of the application.
    class Host {
    public:
        virtual ~Host() = default;
        // Arms an App timer (timerIcons). Any thread.
        virtual void setTimer(uint32_t id, uint32_t delayMs) = 0;
        // The web_browser setting in force (section [external]). Any thread.
        virtual wstr webBrowser() = 0;
        // True when the path lies on a network file system: such files are
        // resolved after all local ones. Images thread.
        virtual bool isRemote(const wstr& path) = 0;
        // The package icon of an item: the icon registered under the icon
        // handle, or else the default icon of the plugin. Images thread.
        virtual std::shared_ptr<Gui::IconSource> itemPackageIcon(uint64_t pluginId,
                                                                 uint64_t iconHandle) = 0;
        // A package icon by its id while its package has it. Any thread.
        virtual std::shared_ptr<Gui::IconSource> findPackageIcon(uint64_t iconId) = 0;
        // The icon theme and scale, read when the lists are built (creation,
        // reset). User-interface thread.
        virtual IconSetup iconSetup() = 0;
        // The images thread's wait for any of the events (Event::waitAny);
        // tests replace it to drive time. Images thread.
        virtual uint32_t wait(std::span<const Event::Handle> handles, uint32_t timeoutMs);
    };

    // Builds the system image lists and starts the images thread. Throws
    // when an event, the mutex or the thread cannot be created.
    // User-interface thread.
    static std::shared_ptr<ImageManager> create(std::shared_ptr<Host> host);
    // Stops the thread within destroyStopMs when it still runs.
    ~ImageManager();
    ImageManager(const ImageManager&) = delete;
    ImageManager& operator=(const ImageManager&) = delete;

    // Ends the images thread, waiting up to timeoutMs; requests still
    // queued are dropped and answer queued from then on. User-interface
    // thread.
    void stop(uint32_t timeoutMs);

    // The icon of the item at size x size pixels (0: its natural size).
    // With have and an image pointer, *image receives the bitmap (an icon
    // whose bitmap cannot be had any more answers none). queued puts the
    // request at the tail, or at the head with atFront (the satellite's
    // selected item); a request already queued is not queued again.
    // User-interface thread.
    Status requestIcon(const std::shared_ptr<CatalogItem>& item, int32_t size, bool atFront,
                       Gui::Bitmap* image = nullptr);
    // Requests the icon (at the tail) and draws it at (x, y); flags take
    // Gui::kBlendHalfOpacity. have when drawn, none when there is no icon
    // or it could not be drawn, queued when it is not there yet.
    // User-interface thread.
    Status drawItemIcon(const std::shared_ptr<CatalogItem>& item, int32_t size, uint32_t flags,
                        QPainter& painter, int32_t x, int32_t y);

    // Forgets every icon and failure, builds the lists again over the
    // current theme and arms timer 10. Requests already queued stay queued;
    // bitmaps handed out before stay valid. User-interface thread.
    void reset();
    // Drops the web browser's icons when the web_browser setting changed.
    // User-interface thread.
    void onConfigChanged();
    // Drop the item icons taken from a package's icons, or from one icon
    // (arming timer 10 when something went). Any thread.
    void forgetPackage(uint32_t packageId);
    void forgetPackageIcon(uint64_t iconId);

    // The cache key of a URL target: its scheme in lower case, "http" for
    // http, https, ftp and every target without a usable scheme. Any thread.
    static wstr normalizeIconKey(const wstr& target);

private:
    using Bitmap = Gui::Bitmap;

    // An icon and where it comes from: a bitmap, an entry of a system image
    // list (which a reset leaves behind), or a package icon fetched again at
    // each use. Shared between caches.
    struct IconHandle {
        int32_t size = 0;
        Bitmap bitmap;
        std::weak_ptr<Gui::ImageList> list;
        int32_t index = -1;
        uint64_t packageIconId = 0;

        bool isListEntry() const { return !bitmap && packageIconId == 0 && index >= 0; }
    };
    using IconPtr = std::shared_ptr<const IconHandle>;

    struct QueuedItem {
        std::weak_ptr<CatalogItem> item;
        int32_t size = 0;
        wstr key; // of a url item

        bool sameRequest(const QueuedItem& other) const;
    };

    explicit ImageManager(std::shared_ptr<Host> host);
    void initSystemImageLists();
    static void threadProc(std::weak_ptr<ImageManager> weak, std::shared_ptr<Host> host,
                           Event::Handle queueEvent);
    uint32_t processQueue();
    uint32_t processOne(const QueuedItem& request, const std::shared_ptr<CatalogItem>& item,
                        int pass, std::vector<QueuedItem>& deferred);
    void storeItemIcon(uint64_t itemId, int32_t size, const IconPtr& icon);
    Bitmap imageOf(const IconHandle& icon) const;
    Status lookup(const std::shared_ptr<CatalogItem>& item, int32_t size, IconPtr& icon, wstr& key);

    // Resolution (ImageManagerResolve.cpp), on the images thread.
    IconPtr resolveFileIcon(const CatalogItem& item, int32_t size, bool& plainFolder);
    IconPtr resolvePackageIcon(const CatalogItem& item, int32_t size);
    bool resolveUrlIcon(const wstr& key, int32_t size);
    bool resolveBrowserIcon(int32_t size);
    void storeUrlIcon(const wstr& key, int32_t size, const IconPtr& icon);
    bool hasUrlIcon(const wstr& key, int32_t size);
    IconPtr themeIcon(const std::vector<std::string>& names, int32_t size);
    IconPtr iconOfLocation(const wstr& location, int32_t size);
    IconPtr mimeListIcon(const wstr& path, int32_t size);
    IconPtr typeIcon(const wstr& path, bool byContent, int32_t size);
    IconPtr defaultAppIcon(const wstr& path, int32_t size);
    IconPtr desktopEntryIcon(const std::string& desktopFile, int32_t size);
    std::shared_ptr<Gui::ImageList> listOfSize(int32_t size);
    std::shared_ptr<const Gui::IconTheme> currentTheme();
    static IconPtr bitmapIcon(Bitmap bitmap, int32_t size);

    const std::shared_ptr<Host> host_;
    Thread thread_;
    // Guards every field below.
    Mutex mutex_;
    Event queueEvent_{false};
    std::deque<QueuedItem> queue_;
    std::map<std::pair<uint64_t, int32_t>, IconPtr> itemIcons_;
    // Items of category file for which every way failed; items whose
    // package gave no icon, with that package's id.
    std::set<uint64_t> iconlessFiles_;
    std::map<uint64_t, uint32_t> iconlessItems_;
    std::map<wstr, std::map<int32_t, IconPtr>> urlIcons_;
    std::set<wstr> urlFailures_;
    wstr browserCommand_;
    std::map<int32_t, IconPtr> folderIcons_;
    std::shared_ptr<const Gui::IconTheme> theme_;
    std::map<int32_t, std::shared_ptr<Gui::ImageList>> systemLists_;
};
