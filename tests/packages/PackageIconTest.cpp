#include "packages/PackageIcon.h"

#include <map>

#include <gtest/gtest.h>

#include "tests/support/ImageFixtures.h"
#include "tests/support/TempDir.h"

using qvtest::makeDib;
using qvtest::makeIco;
using qvtest::makePng;
using qvtest::rawPixel;

namespace {

constexpr uint32_t kPackageId = 0x12345678;
constexpr uint32_t kRed = 0xFFFF0000;
constexpr uint32_t kGreen = 0xFF00FF00;
constexpr uint32_t kBlue = 0xFF0000FF;

wstr wide(const std::string& text) {
    return wstr::fromUtf8(text.c_str());
}

// Packages and their resources as the package manager would offer them.
class FakeResources : public PackageIcon::Resources {
public:
    explicit FakeResources(wstr cacheFolder) : cacheFolder_(std::move(cacheFolder)) {}

    bool hasPackage(const wstr& name) override { return resources.count(name) != 0; }

    bool readResource(const wstr& name, const wstr& path, uint64_t limit,
                      std::vector<uint8_t>& out) override {
        reads.push_back(name + L"|" + path);
        EXPECT_EQ(limit, PackageIcon::kReadLimit);
        auto package = resources.find(name);
        if (package == resources.end() || !package->second.count(path))
            return false;
        out = package->second.at(path);
        return true;
    }

    wstr localPackagesFolder() override { return cacheFolder_; }

    std::map<wstr, std::map<wstr, std::vector<uint8_t>>> resources;
    std::vector<wstr> reads;

private:
    wstr cacheFolder_;
};

TEST(PackageIconSource, Normalization) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"", L""},
        {L"@/usr/share/icons/App.ico,3", L"@/usr/share/icons/App.ico,3"},
        {L"@/usr/share/icons/App.ico", L"@/usr/share/icons/App.ico,0"},
        {L"@/opt/My App/logo.png,-2", L"@/opt/My App/logo.png,-2"},
        {L"@", L""},
        {L"@,2", L""},
        {L"RES://MyPack//icons\\App.PNG", L"res://mypack/icons/App.PNG"},
        {L"res://mypack/icons/App.PNG", L"res://mypack/icons/App.PNG"},
        {L"Cache://Pack/a///b\\\\C.ico", L"cache://pack/a/b/C.ico"},
        {L"cache:///Pack/x.ico", L"cache:///pack/x.ico"},
        {L"http://example.org/icon.png", L""},
        {L"res:/pack/x.png", L""},
        {L"resource://pack/x.png", L""},
        {L"/usr/share/icons/app.ico", L""},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(PackageIcon::normalizeSource(text), expected) << text;
}

TEST(PackageIconSource, IdsHashTheKeptSourcesInOrder) {
    struct Case {
        std::vector<wstr> sources;
        uint64_t id;
    } cases[] = {
        {{L"RES://MyPack//icons\\App.PNG"}, 0x123456786D39547C},
        {{L"@/usr/share/icons/App.ico", L"http://x", L"res://MyPack/a.png"}, 0x1234567873FD36EE},
        {{L"cache://Café/icône.ico"}, 0x12345678F85726C0},
        // A repeated source counts once.
        {{L"@/usr/share/icons/App.ico,0", L"res://mypack/a.png", L"@/usr/share/icons/App.ico"},
         0x1234567873FD36EE},
        {{L"http://x", L"", L"ftp://y"}, 0},
        {{}, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PackageIcon(kPackageId, c.sources).id(), c.id) << c.sources.size();
    // Paths keep their case, and the order of the sources counts.
    EXPECT_NE(PackageIcon(1, {L"@/a/App.ico"}).id(), PackageIcon(1, {L"@/a/app.ico"}).id());
    EXPECT_NE(PackageIcon(1, {L"@/a.ico", L"@/b.ico"}).id(),
              PackageIcon(1, {L"@/b.ico", L"@/a.ico"}).id());
}

class PackageIconTest : public ::testing::Test {
protected:
    qvtest::TempDir dir;
    std::shared_ptr<FakeResources> resources =
        std::make_shared<FakeResources>(wstr::fromUtf8((dir.path() / "Packages").c_str()));

    // An icon file on disk, as an "@" source.
    wstr iconFile(const std::string& name, const std::vector<qvtest::IcoEntry>& entries) {
        return wide("@" + dir.write(name, qvtest::str(makeIco(entries))).string());
    }

    PackageIcon icon(const std::vector<wstr>& sources) {
        return PackageIcon(kPackageId, sources, resources);
    }
};

void expectBitmap(const Gui::Bitmap& bitmap, int side, uint32_t colour) {
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->size(), QSize(side, side));
    EXPECT_EQ(bitmap->format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(rawPixel(*bitmap, side / 2, side / 2), colour);
}

TEST_F(PackageIconTest, PrefersTheExactSizeThenScalesDownThenUp) {
    auto smallAndLarge =
        icon({iconFile("a.ico", {{makeDib(16, 32, kRed), 32}, {makeDib(48, 32, kBlue), 32}})});
    struct Case {
        int wanted, side;
        uint32_t colour;
    } cases[] = {
        {16, 16, kRed}, {32, 32, kBlue}, {64, 64, kBlue}, {8, 8, kRed}, {48, 48, kBlue},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wanted);
        expectBitmap(smallAndLarge.getIcon(c.wanted), c.side, c.colour);
    }
    EXPECT_FALSE(smallAndLarge.getIcon(-1));
}

TEST_F(PackageIconTest, EarlierSourcesWinEachSize) {
    const wstr red = iconFile("red.ico", {{makeDib(32, 32, kRed), 32}});
    const wstr green = iconFile("green.ico", {{makeDib(32, 32, kGreen), 32}});
    const wstr blue =
        iconFile("blue.ico", {{makeDib(16, 32, kBlue), 32}, {makeDib(48, 32, kBlue), 32}});
    expectBitmap(icon({red, green}).getIcon(32), 32, kRed);
    expectBitmap(icon({green, red}).getIcon(32), 32, kGreen);
    // A later source's exact size beats an earlier source's scaled one.
    expectBitmap(icon({blue, green}).getIcon(32), 32, kGreen);
    expectBitmap(icon({blue, green}).getIcon(40), 40, kBlue);
}

TEST_F(PackageIconTest, SourcesThatYieldNothing) {
    const wstr unreadable = iconFile("broken.ico", {{makeDib(16, 32, kRed), 32}});
    dir.write("broken.ico", "not an icon any more");
    auto dropped = icon({L"http://example.org/a.png", L""});
    EXPECT_EQ(dropped.id(), 0u);
    EXPECT_FALSE(dropped.getIcon(16));
    EXPECT_FALSE(icon({unreadable}).getIcon(16));
    EXPECT_FALSE(icon({L"res://nopack/a.png"}).getIcon(16));
    EXPECT_FALSE(icon({wide("@" + dir.str() + "/BROKEN.ico")}).getIcon(16));
    // The next source is tried when one offers nothing.
    const wstr red = iconFile("red.ico", {{makeDib(16, 32, kRed), 32}});
    expectBitmap(icon({unreadable, red}).getIcon(16), 16, kRed);
}

TEST_F(PackageIconTest, ResourceImageOffersItsNaturalSize) {
    resources->resources[L"mypack"][L"icons/Photo.PNG"] = makePng(300, 200, kGreen);
    auto photo = icon({L"RES://MyPack//icons\\Photo.PNG"});
    const auto natural = photo.getIcon(300);
    ASSERT_TRUE(natural);
    EXPECT_EQ(natural->size(), QSize(300, 200));
    expectBitmap(photo.getIcon(32), 32, kGreen);
    EXPECT_EQ(photo.getIcon(32), photo.getIcon(32));
    // Decoded once when the sizes were listed; the scaled size came from it.
    EXPECT_EQ(resources->reads, std::vector<wstr>{L"mypack|icons/Photo.PNG"});
}

TEST_F(PackageIconTest, ResourceIconFile) {
    resources->resources[L"mypack"][L"app.ico"] =
        makeIco({{makeDib(16, 32, kRed), 32}, {makePng(48, 48, kBlue), 32}});
    auto app = icon({L"res://mypack/app.ico"});
    expectBitmap(app.getIcon(16), 16, kRed);
    expectBitmap(app.getIcon(24), 24, kBlue);
    expectBitmap(app.getIcon(0), 16, kRed); // the smallest offered, at its own size
}

TEST_F(PackageIconTest, CacheFilesAreFoundWithoutCase) {
    resources->resources[L"mypack"];
    dir.write("Packages/MyPack/Thumbs/icon.ico",
              qvtest::str(makeIco({{makeDib(16, 32, kRed), 32}})));
    dir.write("Packages/other/secret.ico", qvtest::str(makeIco({{makeDib(16, 32, kBlue), 32}})));
    expectBitmap(icon({L"cache://MyPack/thumbs/ICON.ico"}).getIcon(16), 16, kRed);
    // The package must be loaded, and the path must stay inside its folder.
    EXPECT_FALSE(icon({L"cache://other/secret.ico"}).getIcon(16));
    EXPECT_FALSE(icon({L"cache://mypack/../other/secret.ico"}).getIcon(16));
    EXPECT_FALSE(icon({L"cache://mypack/missing.ico"}).getIcon(16));
    EXPECT_FALSE(icon({L"cache://mypack"}).getIcon(16));
}

TEST_F(PackageIconTest, NothingIsReadOnceTheResourcesAreGone) {
    resources->resources[L"mypack"][L"a.png"] = makePng(16, 16, kRed);
    PackageIcon orphan(kPackageId, {L"res://mypack/a.png"}, resources);
    PackageIcon without(kPackageId, {L"res://mypack/a.png"});
    resources.reset();
    EXPECT_FALSE(orphan.getIcon(16));
    EXPECT_FALSE(without.getIcon(16));
}

TEST_F(PackageIconTest, HandedOutBitmapsOutliveTheirReplacementAndTheIcon) {
    resources->resources[L"mypack"][L"app.ico"] =
        makeIco({{makeDib(16, 32, kRed), 32}, {makeDib(48, 32, kBlue), 32}});
    auto app = std::make_shared<PackageIcon>(kPackageId, std::vector<wstr>{L"res://mypack/app.ico"},
                                             resources);
    const Gui::Bitmap held = app->getIcon(16);
    expectBitmap(held, 16, kRed);
    // The natural-size load stores its bitmap under 0 and under its width,
    // replacing the one handed out above.
    const Gui::Bitmap natural = app->getIcon(0);
    expectBitmap(natural, 16, kRed);
    EXPECT_NE(natural, held);
    EXPECT_EQ(app->getIcon(16), natural);
    app.reset();
    expectBitmap(held, 16, kRed);
    expectBitmap(natural, 16, kRed);
}

} // namespace
