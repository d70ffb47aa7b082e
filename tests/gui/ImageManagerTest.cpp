#include "gui/ImageManager.h"

#include "catalog/CatalogItem.h"
#include "packages/PackageIcon.h"
#include "platform/Error.h"

#include <gtest/gtest.h>

#include <QPainter>

#include <chrono>
#include <mutex>

#include "tests/core/ScopedEnv.h"
#include "tests/support/ImageFixtures.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"

namespace {

using Status = ImageManager::Status;
using namespace std::chrono_literals;

constexpr uint32_t kRed = 0xFFFF0000;
constexpr uint32_t kBlue = 0xFF0000FF;
constexpr uint32_t kGreen = 0xFF00FF00;
constexpr uint32_t kTeal = 0xFF008080;
constexpr uint32_t kMagenta = 0xFFFF00FF;
constexpr uint32_t kOlive = 0xFF808000;
constexpr uint32_t kMaroon = 0xFF800000;
constexpr uint32_t kNavy = 0xFF000080;
constexpr uint32_t kGrey = 0xFF404040;
constexpr uint32_t kPurple = 0xFF800080;

// The application as the image manager sees it, recording what it is asked.
// Its wait runs on virtual time: a time-out passes only when the test
// advances the clock.
class TestHost : public ImageManager::Host {
public:
    // Signalled whenever the images thread did something a test waits for.
    Event changed{true};
    Event gateOpen{false};
    Event tick{true};

    void setTimer(uint32_t id, uint32_t) override {
        {
            std::lock_guard lock(mutex);
            timers.push_back(id);
        }
        changed.set();
    }
    wstr webBrowser() override {
        std::lock_guard lock(mutex);
        return browser;
    }
    bool isRemote(const wstr& path) override {
        wstr gated;
        {
            std::lock_guard lock(mutex);
            remoteChecks.push_back(path);
            gated = gate;
        }
        changed.set();
        if (path == gated)
            gateOpen.wait(Platform::INFINITE);
        std::lock_guard lock(mutex);
        return remote.count(path) != 0;
    }
    std::shared_ptr<Gui::IconSource> itemPackageIcon(uint64_t pluginId, uint64_t handle) override {
        std::lock_guard lock(mutex);
        ++packageLookups;
        const auto found = packageIcons.find(handle ? handle : pluginId);
        return found == packageIcons.end() ? nullptr : found->second;
    }
    std::shared_ptr<Gui::IconSource> findPackageIcon(uint64_t iconId) override {
        std::lock_guard lock(mutex);
        const auto found = packageIcons.find(iconId);
        return found == packageIcons.end() ? nullptr : found->second;
    }
    ImageManager::IconSetup iconSetup() override { return setup; }

    uint32_t wait(std::span<const Event::Handle> handles, uint32_t timeoutMs) override {
        std::vector<Event::Handle> all(handles.begin(), handles.end());
        all.push_back(tick.handle());
        uint64_t start = 0;
        {
            std::lock_guard lock(mutex);
            start = now;
            inWait = true;
            queueEvent = handles[1];
            timeouts.push_back(timeoutMs);
        }
        changed.set();
        for (;;) {
            const uint32_t result = Event::waitAny(all, Platform::INFINITE);
            std::lock_guard lock(mutex);
            if (result != Platform::WAIT_OBJECT_0 + handles.size()) {
                inWait = false;
                return result;
            }
            // Leaving the wait and counting the tick are one step, so that a
            // test never sees the tick counted while the thread still looks idle.
            ++ticks;
            if (timeoutMs != Platform::INFINITE && now - start >= timeoutMs) {
                inWait = false;
                return Platform::WAIT_TIMEOUT;
            }
            changed.set();
        }
    }

    // The images thread waits and has nothing queued.
    bool idle() {
        std::lock_guard lock(mutex);
        return inWait && queueEvent && Event::waitAny({queueEvent}, 0) == Platform::WAIT_TIMEOUT;
    }
    bool settle() {
        return qvtest::waitOn(
            changed, [&] { return idle(); }, 20s);
    }
    // Moves virtual time on and waits until the images thread has seen it.
    bool advance(uint64_t ms) {
        uint64_t seen = 0;
        {
            std::lock_guard lock(mutex);
            now += ms;
            seen = ticks;
        }
        tick.set();
        return qvtest::waitOn(
            changed, [&] { return ticksSeen() > seen && idle(); }, 20s);
    }
    uint64_t ticksSeen() {
        std::lock_guard lock(mutex);
        return ticks;
    }
    template <typename T> T read(const T& field) {
        std::lock_guard lock(mutex);
        return field;
    }

    std::mutex mutex;
    ImageManager::IconSetup setup;
    std::vector<uint32_t> timers;
    std::vector<uint32_t> timeouts;
    wstr browser;
    std::set<wstr> remote;
    std::vector<wstr> remoteChecks;
    wstr gate;
    std::map<uint64_t, std::shared_ptr<PackageIcon>> packageIcons;
    int packageLookups = 0;
    uint64_t now = 0;
    uint64_t ticks = 0;
    bool inWait = false;
    Event::Handle queueEvent;
};

wstr wide(const std::string& text) {
    return wstr::fromUtf8(text.c_str());
}

std::shared_ptr<CatalogItem> makeItem(uint32_t category, const std::string& target,
                                      uint64_t pluginId = 1, uint64_t iconHandle = 0) {
    return std::make_shared<CatalogItem>(pluginId, category, L"label", L"", wide(target),
                                         CatalogItem::forbidden, false, CatalogItem::keepall,
                                         iconHandle, L"");
}

// A temporary XDG tree: a theme "TestTheme" that inherits hicolor, a few
// files, desktop entries and MIME defaults.
class ImageManagerTest : public ::testing::Test {
protected:
    qvtest::TempDir dir;
    qvtest::ScopedEnv env;
    std::shared_ptr<TestHost> host = std::make_shared<TestHost>();
    std::shared_ptr<ImageManager> manager;

    ImageManagerTest() {
        qvtest::qtApp();
        env.set("HOME", at("home"))
            .set("XDG_CONFIG_HOME", at("config"))
            .set("XDG_CONFIG_DIRS", at("etc"))
            .set("XDG_DATA_HOME", at("data"))
            // The system's MIME database stays visible; icons come only from the setup.
            .set("XDG_DATA_DIRS", at("sys") + ":/usr/share")
            .unset("XDG_CURRENT_DESKTOP");
        writeTheme();
        writeFiles();
        host->setup.themeName = "TestTheme";
        host->setup.dirs = {{at("icons")}, {at("pixmaps")}};
    }
    ~ImageManagerTest() override {
        host->gateOpen.set();
        if (manager)
            manager->stop(5000);
    }

    std::string at(const std::string& relative) const { return dir.str() + "/" + relative; }
    void png(const std::string& relative, int size, uint32_t argb) {
        dir.write(relative, qvtest::str(qvtest::makePng(size, size, argb)));
    }
    void desktop(const std::string& relative, const std::string& exec, const std::string& icon) {
        std::string text = "[Desktop Entry]\nType=Application\nName=X\nExec=" + exec + "\n";
        if (!icon.empty())
            text += "Icon=" + icon + "\n";
        dir.write(relative, text);
    }

    void writeTheme() {
        dir.write("icons/TestTheme/index.theme", "[Icon Theme]\nName=Test\nInherits=hicolor\n"
                                                 "Directories=16/mimetypes,32/mimetypes,32/places\n"
                                                 "[16/mimetypes]\nSize=16\nType=Fixed\n"
                                                 "[32/mimetypes]\nSize=32\nType=Fixed\n"
                                                 "[32/places]\nSize=32\nType=Fixed\n");
        png("icons/TestTheme/16/mimetypes/text-plain.png", 16, kRed);
        png("icons/TestTheme/32/mimetypes/text-plain.png", 32, kRed);
        png("icons/TestTheme/32/places/inode-directory.png", 32, kBlue);
        dir.write("icons/hicolor/index.theme",
                  "[Icon Theme]\nName=Hicolor\nDirectories=32/apps,256/apps\n"
                  "[32/apps]\nSize=32\n[256/apps]\nSize=256\nType=Fixed\n");
        const std::pair<const char*, uint32_t> apps[] = {
            {"myapp", kGreen},         {"first-icon", kTeal},    {"second-icon", kMagenta},
            {"chain-icon", kOlive},    {"testbrowser", kMaroon}, {"mailer", kNavy},
            {"otherbrowser", kPurple},
        };
        for (const auto& [name, color] : apps)
            png(std::string("icons/hicolor/32/apps/") + name + ".png", 32, color);
        png("icons/hicolor/256/apps/bigapp.png", 256, kGrey);
    }

    void writeFiles() {
        dir.write("docs/note.txt", "hello\n");
        dir.write("docs/folder/inside.txt", "x");
        dir.write("docs/blob.qqq", std::string("\x01\x02\x00\xff\xfe", 5));
        dir.write("remote/far.txt", "far\n");
        desktop("docs/app.desktop", "/bin/true", "myapp");
        desktop("docs/big.desktop", "/bin/true", "bigapp");
        desktop("docs/abs.desktop", "/bin/true", at("icons/hicolor/32/apps/mailer.png"));
        // Three hops reach the Icon of the third entry.
        desktop("docs/link1.desktop", at("docs/link2.desktop"), "");
        desktop("docs/link2.desktop", at("docs/link3.desktop"), "");
        desktop("docs/link3.desktop", at("docs/link4.desktop"), "chain-icon");
        desktop("docs/link4.desktop", "/bin/true", "second-icon");
        // Only a fourth hop would reach an Icon.
        desktop("docs/four1.desktop", at("docs/four2.desktop"), "");
        desktop("docs/four2.desktop", at("docs/four3.desktop"), "");
        desktop("docs/four3.desktop", at("docs/four4.desktop"), "");
        desktop("docs/four4.desktop", "/bin/true", "myapp");
        desktop("docs/firstA.desktop", at("docs/firstB.desktop"), "first-icon");
        desktop("docs/firstB.desktop", "/bin/true", "second-icon");
        dir.write("config/mimeapps.list", "[Default Applications]\n"
                                          "x-scheme-handler/mailto=mailer.desktop\n"
                                          "x-scheme-handler/broken=broken.desktop\n");
        desktop("data/applications/mailer.desktop", "mailer %u", "mailer");
        desktop("data/applications/broken.desktop", "broken %u", "no-such-icon");
    }

    void start() { manager = ImageManager::create(host); }

    // The status of a request and, when have, the colour in the image's
    // centre and its width.
    struct Answer {
        Status status = ImageManager::none;
        uint32_t color = 0;
        int width = 0;
    };
    Answer ask(const std::shared_ptr<CatalogItem>& item, int32_t size, bool atFront = false) {
        Answer answer;
        Gui::Bitmap image;
        answer.status = manager->requestIcon(item, size, atFront, &image);
        if (image) {
            answer.color = image->pixel(image->width() / 2, image->height() / 2);
            answer.width = image->width();
        }
        return answer;
    }
    Answer resolved(const std::shared_ptr<CatalogItem>& item, int32_t size) {
        const Answer first = ask(item, size);
        if (first.status != ImageManager::queued)
            return first;
        EXPECT_TRUE(host->settle());
        return ask(item, size);
    }
    std::vector<uint32_t> timers() { return host->read(host->timers); }
};

TEST_F(ImageManagerTest, AnswersHaveNoneOrQueued) {
    start();
    ASSERT_TRUE(host->settle());
    const auto note = makeItem(CatalogItem::file, at("docs/note.txt"));
    EXPECT_EQ(manager->requestIcon(nullptr, 32, false), ImageManager::none);
    EXPECT_EQ(manager->requestIcon(note, -1, false), ImageManager::none);
    EXPECT_TRUE(host->idle()) << "a refused request queues nothing";

    EXPECT_EQ(manager->requestIcon(note, 32, false), ImageManager::queued);
    ASSERT_TRUE(host->settle());
    const Answer answer = ask(note, 32);
    EXPECT_EQ(answer.status, ImageManager::have);
    EXPECT_EQ(answer.color, kRed);
    EXPECT_EQ(answer.width, 32);

    QImage canvas(40, 40, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    EXPECT_EQ(manager->drawItemIcon(note, 32, 0, painter, 4, 4), ImageManager::have);
    EXPECT_EQ(manager->drawItemIcon(nullptr, 32, 0, painter, 4, 4), ImageManager::none);
    painter.end();
    EXPECT_EQ(canvas.pixel(20, 20), kRed);
    EXPECT_EQ(canvas.pixel(1, 1), 0xFFFFFFFF);
}

TEST_F(ImageManagerTest, ResolvesFixtureFiles) {
    start();
    struct Case {
        const char* name;
        std::string target;
        int32_t size;
        Status status;
        uint32_t color;
    };
    const Case cases[] = {
        {"text file at a list size", at("docs/note.txt"), 32, ImageManager::have, kRed},
        {"text file at another size", at("docs/note.txt"), 20, ImageManager::have, kRed},
        {"folder", at("docs/folder"), 32, ImageManager::have, kBlue},
        {"folder at another size", at("docs/folder"), 24, ImageManager::have, kBlue},
        {"desktop entry's Icon from hicolor", at("docs/app.desktop"), 32, ImageManager::have,
         kGreen},
        {"desktop entry's Icon as a path", at("docs/abs.desktop"), 20, ImageManager::have, kNavy},
        {"three hops", at("docs/link1.desktop"), 32, ImageManager::have, kOlive},
        {"no fourth hop", at("docs/four1.desktop"), 32, ImageManager::none, 0},
        {"first Icon of the chain wins", at("docs/firstA.desktop"), 32, ImageManager::have, kTeal},
        {"unknown type", at("docs/blob.qqq"), 32, ImageManager::none, 0},
        {"missing file of an unknown type", at("docs/gone.qqq"), 32, ImageManager::none, 0},
    };
    for (const auto& c : cases) {
        const auto item = makeItem(CatalogItem::file, c.target);
        const Answer answer = resolved(item, c.size);
        EXPECT_EQ(answer.status, c.status) << c.name;
        if (c.status != ImageManager::have)
            continue;
        EXPECT_EQ(answer.color, c.color) << c.name;
        EXPECT_EQ(answer.width, c.size) << c.name;
    }
}

TEST_F(ImageManagerTest, FailuresAreRememberedAndNotRequestedAgain) {
    start();
    const auto blob = makeItem(CatalogItem::file, at("docs/blob.qqq"));
    EXPECT_EQ(resolved(blob, 32).status, ImageManager::none);
    EXPECT_EQ(manager->requestIcon(blob, 32, false), ImageManager::none);
    EXPECT_EQ(manager->requestIcon(blob, 16, false), ImageManager::none);
    ASSERT_TRUE(host->settle());
    EXPECT_EQ(host->read(host->remoteChecks).size(), 1u);

    const auto keyword = makeItem(CatalogItem::keyword, "k", uint64_t(9) << 32 | 1);
    EXPECT_EQ(resolved(keyword, 32).status, ImageManager::none);
    EXPECT_EQ(manager->requestIcon(keyword, 32, false), ImageManager::none);
    ASSERT_TRUE(host->settle());
    EXPECT_EQ(host->read(host->packageLookups), 1);
    EXPECT_TRUE(timers().empty()) << "failures bring no new icons";
}

TEST_F(ImageManagerTest, DuplicatesWaitOnceAndTheSatelliteGoesFirst) {
    const auto gated = makeItem(CatalogItem::file, at("docs/app.desktop"));
    host->gate = gated->target();
    start();
    EXPECT_EQ(manager->requestIcon(gated, 32, false), ImageManager::queued);
    ASSERT_TRUE(qvtest::waitOn(
        host->changed, [&] { return host->read(host->remoteChecks).size() == 1; }, 20s));

    const auto a = makeItem(CatalogItem::file, at("docs/note.txt"));
    const auto sameAsA = makeItem(CatalogItem::file, at("docs/note.txt"));
    const auto b = makeItem(CatalogItem::file, at("docs/folder"));
    const auto satellite = makeItem(CatalogItem::file, at("docs/firstA.desktop"));
    EXPECT_EQ(manager->requestIcon(a, 32, false), ImageManager::queued);
    EXPECT_EQ(manager->requestIcon(a, 32, false), ImageManager::queued);
    EXPECT_EQ(manager->requestIcon(sameAsA, 32, false), ImageManager::queued);
    EXPECT_EQ(manager->requestIcon(b, 32, false), ImageManager::queued);
    EXPECT_EQ(manager->requestIcon(satellite, 32, true), ImageManager::queued);
    host->gateOpen.set();
    ASSERT_TRUE(host->settle());

    EXPECT_EQ(host->read(host->remoteChecks),
              (std::vector<wstr>{gated->target(), satellite->target(), a->target(), b->target()}));
    EXPECT_EQ(ask(sameAsA, 32).status, ImageManager::have);
}

TEST_F(ImageManagerTest, TimerTenFollowsQuietAfterNewIcons) {
    const auto note = makeItem(CatalogItem::file, at("docs/note.txt"));
    const auto folder = makeItem(CatalogItem::file, at("docs/folder"));
    const auto blob = makeItem(CatalogItem::file, at("docs/blob.qqq"));
    start();
    ASSERT_TRUE(host->settle());
    EXPECT_EQ(manager->requestIcon(note, 32, false), ImageManager::queued);
    ASSERT_TRUE(host->settle());
    EXPECT_EQ(host->read(host->timeouts).back(), ImageManager::quietMs);
    ASSERT_TRUE(host->advance(74));
    EXPECT_TRUE(timers().empty());

    // More work 74 ms in starts the quiet period again.
    EXPECT_EQ(manager->requestIcon(folder, 32, false), ImageManager::queued);
    ASSERT_TRUE(host->settle());
    ASSERT_TRUE(host->advance(50));
    EXPECT_TRUE(timers().empty());
    ASSERT_TRUE(host->advance(25));
    EXPECT_EQ(timers(), std::vector<uint32_t>{ImageManager::timerIcons});

    ASSERT_TRUE(host->advance(1000));
    EXPECT_EQ(host->read(host->timeouts).back(), Platform::INFINITE);
    EXPECT_EQ(timers().size(), 1u);

    // Work that resolves nothing arms nothing.
    EXPECT_EQ(manager->requestIcon(blob, 32, false), ImageManager::queued);
    ASSERT_TRUE(host->settle());
    ASSERT_TRUE(host->advance(1000));
    EXPECT_EQ(timers().size(), 1u);
}

TEST_F(ImageManagerTest, RemoteFilesComeInASecondPass) {
    const auto far = makeItem(CatalogItem::file, at("remote/far.txt"));
    const auto near = makeItem(CatalogItem::file, at("docs/note.txt"));
    host->remote.insert(far->target());
    host->gate = far->target();
    start();
    EXPECT_EQ(manager->requestIcon(far, 32, false), ImageManager::queued);
    EXPECT_EQ(manager->requestIcon(near, 32, false), ImageManager::queued);
    host->gateOpen.set();
    ASSERT_TRUE(host->settle());
    EXPECT_EQ(host->read(host->remoteChecks), (std::vector<wstr>{far->target(), near->target()}));
    // The second pass announces the local icons at once.
    EXPECT_EQ(timers(), std::vector<uint32_t>{ImageManager::timerIcons});
    EXPECT_EQ(ask(far, 32).color, kRed);
    EXPECT_EQ(ask(near, 32).color, kRed);
}

TEST_F(ImageManagerTest, UrlKeys) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"HTTPS://example.org", L"http"},
        {L"ftp://files.example.org", L"http"},
        {L"http://x", L"http"},
        {L"example.org", L"http"},
        {L":nothing", L"http"},
        {L"mailto:someone@example.org", L"mailto"},
        {L"  Mailto:x", L"mailto"},
        {L"ma ilto:x", L"http"},
        {L"1abc:x", L"http"},
        {L"svn+ssh://host", L"svn+ssh"},
        {L"a_b:x", L"ab"},
        {L"C:\\Windows", L"c"},
    };
    for (const auto& [target, key] : cases)
        EXPECT_EQ(ImageManager::normalizeIconKey(target), key) << wstr::toUtf8(target);
}

TEST_F(ImageManagerTest, UrlIconsShareTheirSchemeAndFollowTheBrowser) {
    host->browser = L"/opt/tb/testbrowser --new-window";
    start();
    const auto https = makeItem(CatalogItem::url, "HTTPS://example.org");
    const auto ftp = makeItem(CatalogItem::url, "ftp://files.example.org");
    const auto bare = makeItem(CatalogItem::url, "example.org");
    const auto mailto = makeItem(CatalogItem::url, "mailto:someone@example.org");
    const auto broken = makeItem(CatalogItem::url, "broken:thing");

    EXPECT_EQ(resolved(https, 32).color, kMaroon);
    EXPECT_EQ(ask(ftp, 32).color, kMaroon) << "cached under http";
    EXPECT_EQ(ask(bare, 32).color, kMaroon);
    EXPECT_EQ(resolved(mailto, 32).color, kNavy);
    EXPECT_EQ(resolved(broken, 32).status, ImageManager::none);
    EXPECT_EQ(ask(broken, 32).status, ImageManager::none) << "remembered";

    host->browser = L"otherbrowser";
    const size_t before = timers().size();
    manager->onConfigChanged();
    EXPECT_EQ(timers().size(), before + 1);
    EXPECT_EQ(ask(mailto, 32).color, kNavy);
    EXPECT_EQ(resolved(ftp, 32).color, kPurple);
    EXPECT_EQ(ask(https, 32).color, kPurple);

    // The same setting again changes nothing.
    manager->onConfigChanged();
    EXPECT_EQ(timers().size(), before + 1);
}

TEST_F(ImageManagerTest, NaturalSizeIsCachedUnderBothSizes) {
    start();
    const auto big = makeItem(CatalogItem::file, at("docs/big.desktop"));
    const Answer answer = resolved(big, 0);
    EXPECT_EQ(answer.status, ImageManager::have);
    EXPECT_EQ(answer.width, 256);
    EXPECT_EQ(answer.color, kGrey);
    EXPECT_EQ(ask(big, 256).status, ImageManager::have);
}

TEST_F(ImageManagerTest, ForgettingPackagesDropsOnlyTheirIcons) {
    dir.write("pkg/red.png", qvtest::str(qvtest::makePng(32, 32, kRed)));
    dir.write("pkg/blue.png", qvtest::str(qvtest::makePng(32, 32, kBlue)));
    const auto red =
        std::make_shared<PackageIcon>(7, std::vector<wstr>{wide("@" + at("pkg/red.png"))});
    const auto blue =
        std::make_shared<PackageIcon>(8, std::vector<wstr>{wide("@" + at("pkg/blue.png"))});
    host->packageIcons = {{red->id(), red}, {blue->id(), blue}};
    start();
    const auto first = makeItem(CatalogItem::keyword, "a", uint64_t(7) << 32 | 1, red->id());
    const auto second = makeItem(CatalogItem::cmdline, "b", uint64_t(8) << 32 | 1, blue->id());
    const auto missing = makeItem(CatalogItem::keyword, "c", uint64_t(9) << 32 | 1);
    EXPECT_EQ(resolved(first, 32).color, kRed);
    EXPECT_EQ(resolved(second, 32).color, kBlue);
    EXPECT_EQ(resolved(missing, 32).status, ImageManager::none);

    const size_t before = timers().size();
    manager->forgetPackage(7);
    EXPECT_EQ(timers().size(), before + 1);
    EXPECT_EQ(ask(second, 32).status, ImageManager::have);
    EXPECT_EQ(resolved(first, 32).color, kRed);

    manager->forgetPackageIcon(blue->id());
    EXPECT_EQ(ask(first, 32).status, ImageManager::have);
    EXPECT_EQ(ask(second, 32).status, ImageManager::queued);

    // A package loaded again may now have the icon it lacked.
    manager->forgetPackage(9);
    EXPECT_EQ(ask(missing, 32).status, ImageManager::queued);
    manager->forgetPackage(42);
    ASSERT_TRUE(host->settle());
    EXPECT_EQ(ask(second, 32).color, kBlue);
}

// A reset forgets every icon, so that nothing old is found stale: the next
// request queues again. Bitmaps handed out before stay drawable.
TEST_F(ImageManagerTest, ResetForgetsEverythingButHandedOutImages) {
    start();
    const auto note = makeItem(CatalogItem::file, at("docs/note.txt"));
    const auto blob = makeItem(CatalogItem::file, at("docs/blob.qqq"));
    ASSERT_EQ(resolved(note, 32).status, ImageManager::have);
    ASSERT_EQ(resolved(blob, 32).status, ImageManager::none);
    Gui::Bitmap before;
    ASSERT_EQ(manager->requestIcon(note, 32, false, &before), ImageManager::have);

    // A theme with another colour for text files.
    png("icons/Other/32/text-plain.png", 32, kGreen);
    dir.write("icons/Other/index.theme",
              "[Icon Theme]\nName=Other\nDirectories=32\n[32]\nSize=32\nType=Fixed\n");
    host->setup.themeName = "Other";
    const size_t timersBefore = timers().size();
    manager->reset();
    EXPECT_EQ(timers().size(), timersBefore + 1);
    ASSERT_TRUE(before);
    EXPECT_EQ(before->pixel(16, 16), kRed);

    EXPECT_EQ(ask(note, 32).status, ImageManager::queued);
    EXPECT_EQ(ask(blob, 32).status, ImageManager::queued) << "failures are forgotten too";
    ASSERT_TRUE(host->settle());
    EXPECT_EQ(ask(note, 32).color, kGreen);
}

} // namespace
