// Rows drawn before the image manager has their icons: the icons reach the
// screen as soon as they are resolved, without a key press.

#include "tests/windows/WndRunFixture.h"

#include "gui/ImageManager.h"
#include "windows/ImageManagerIcons.h"
#include "windows/WndSatellite.h"

#include "tests/support/ImageFixtures.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QListView>
#include <QScreen>
#include <QWindow>

#include <chrono>

using namespace Gui;
using namespace qvtest;

namespace {

constexpr uint32_t kRed = 0xFFFF0000;
constexpr uint32_t kBlue = 0xFF0000FF;
constexpr uint32_t kGreen = 0xFF00FF00;

template <typename Condition>
bool processUntil(Condition condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

// Tells the LaunchBox that icons arrived, on the user-interface thread. The
// wake-up is a plain event that Qt owns, so no memory of ours crosses threads
// through Qt's queue, whose locks the thread sanitizer cannot see.
class IconsChanged : public QObject {
public:
    bool event(QEvent* event) override {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        if (launchBox)
            launchBox->onIconsChanged();
        return true;
    }

    WndRun* launchBox = nullptr; // user-interface thread
};

// The images thread's timer reaches the LaunchBox as the application hands
// it over: later, on the user-interface thread.
class LoopHost : public ImageManager::Host {
public:
    void setTimer(uint32_t id, uint32_t) override {
        if (id != ImageManager::timerIcons)
            return;
        // Dropped with the receiver when the test ends first.
        QCoreApplication::postEvent(receiver.get(), new QEvent(QEvent::User));
    }
    wstr webBrowser() override { return {}; }
    bool isRemote(const wstr&) override { return false; }
    std::shared_ptr<IconSource> itemPackageIcon(uint64_t, uint64_t) override { return nullptr; }
    std::shared_ptr<IconSource> findPackageIcon(uint64_t) override { return nullptr; }
    ImageManager::IconSetup iconSetup() override { return setup; }

    const std::unique_ptr<IconsChanged> receiver = std::make_unique<IconsChanged>();
    ImageManager::IconSetup setup;
};

class WndRunIconsOnDisplay : public ::testing::Test {
protected:
    TempDir dir;
    std::shared_ptr<LaunchBoxScreens> screens = std::make_shared<LaunchBoxScreens>();
    std::shared_ptr<Theme> theme = std::make_shared<Theme>();
    FakeLaunchBoxHost host;
    std::shared_ptr<LoopHost> imageHost = std::make_shared<LoopHost>();
    std::shared_ptr<ImageManager> images;
    std::unique_ptr<ImageManagerIcons> icons;
    std::unique_ptr<WndRun> box;

    void SetUp() override {
        qtApp();
        if (QGuiApplication::platformName() != QStringLiteral("xcb"))
            GTEST_SKIP() << "needs the display of scripts/with-display.sh";
        const QScreen* screen = QGuiApplication::primaryScreen();
        screens->list = {monitor(1, toSysRect(screen->geometry()),
                                 toSysRect(screen->availableGeometry()), 96, true)};
        Sys::setDisplayService(screens);
        writeTheme();
        theme->layout = Theme::LayoutAll;
        theme->satelliteShow = Theme::ShowAlways;
        theme->satelliteSize = 48;
        const std::pair<const wchar_t*, const char*> files[] = {
            {L"qvicons folder", "files/folder"},
            {L"qvicons note", "files/note.txt"},
            {L"qvextra picture", "files/picture.png"},
        };
        for (const auto& [label, file] : files)
            host.items.push_back(makeItem(label, CatalogItem::file, CatalogItem::forbidden, pluginA,
                                          wstr::fromUtf8(at(file).c_str())));
        imageHost->setup = {"Mine", 1.0, {{at("icons")}, {}}};
        images = ImageManager::create(imageHost);
        icons = std::make_unique<ImageManagerIcons>(images);
        box = std::make_unique<WndRun>(nullptr, theme, host, *icons);
        imageHost->receiver->launchBox = box.get();
    }
    void TearDown() override {
        if (images)
            images->stop(5000);
        imageHost->receiver->launchBox = nullptr;
        box.reset();
        Sys::setDisplayService(nullptr);
    }

    std::string at(const std::string& relative) const { return dir.str() + "/" + relative; }
    void writeTheme() {
        dir.write("icons/Mine/index.theme", "[Icon Theme]\nName=Mine\n"
                                            "Directories=places,mimetypes\n"
                                            "[places]\nSize=32\nType=Scalable\nMinSize=8\n"
                                            "MaxSize=256\n"
                                            "[mimetypes]\nSize=32\nType=Scalable\nMinSize=8\n"
                                            "MaxSize=256\n");
        const std::pair<const char*, uint32_t> icons[] = {
            {"places/inode-directory.png", kBlue},
            {"mimetypes/text-plain.png", kRed},
            {"mimetypes/image-png.png", kGreen},
        };
        for (const auto& [file, colour] : icons)
            dir.write(std::string("icons/Mine/") + file, str(makePng(64, 64, colour)));
        dir.write("files/note.txt", "hello\n");
        dir.write("files/picture.png", str(makePng(4, 4, 0xFF808080)));
        dir.write("files/folder/inside.txt", "x");
    }

    // The row as the X server shows it.
    QImage rowOnScreen(int row) {
        auto* view = qobject_cast<QListView*>(box->list().hwnd());
        const QRect rect = view->visualRect(view->model()->index(row, 0));
        const QPoint origin = view->viewport()->mapToGlobal(rect.topLeft());
        return box->hwnd()
            ->screen()
            ->grabWindow(0, origin.x(), origin.y(), rect.width(), rect.height())
            .toImage();
    }
    static int pixelsOf(const QImage& image, uint32_t colour) {
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                count += image.pixel(x, y) == colour;
        return count;
    }

    // Types the query and paints the rows at once, before the images thread
    // can have answered; then waits, without input, for each row's icon.
    void expectIconsArriveAfterTheFirstPaint(const wstr& query,
                                             const std::vector<uint32_t>& colours) {
        box->searchBox().setText(query);
        ASSERT_TRUE(processUntil([&] { return box->list().count() == int(colours.size()); },
                                 slowMachineLimit));
        box->list().hwnd()->repaint();
        const int iconPixels = 32 * 32;
        for (size_t row = 0; row < colours.size(); ++row) {
            const QImage before = rowOnScreen(int(row));
            EXPECT_EQ(pixelsOf(before, colours[row]), 0)
                << "row " << row << " shows its icon before it was resolved";
        }
        const bool arrived = processUntil(
            [&] {
                for (size_t row = 0; row < colours.size(); ++row)
                    if (pixelsOf(rowOnScreen(int(row)), colours[row]) < iconPixels)
                        return false;
                return true;
            },
            slowMachineLimit);
        EXPECT_TRUE(arrived) << "the rows still show placeholders";
    }
};

TEST_F(WndRunIconsOnDisplay, RowsAndSatelliteShowIconsResolvedAfterTheyWereDrawn) {
    box->show(true);
    ASSERT_TRUE(processUntil(
        [&] { return box->hwnd()->windowHandle() && box->hwnd()->windowHandle()->isExposed(); },
        slowMachineLimit));
    expectIconsArriveAfterTheFirstPaint(L"qvicons", {kBlue, kRed});
    // The satellite shows the selected row's icon, which arrived the same way.
    ASSERT_TRUE(box->satellite());
    EXPECT_TRUE(processUntil(
        [&] {
            const Bitmap& shown = box->satellite()->shownImage();
            return shown && shown->pixel(shown->width() / 2, shown->height() / 2) == kBlue;
        },
        slowMachineLimit));
    // Another query with a row not asked for yet: the same again.
    expectIconsArriveAfterTheFirstPaint(L"qvextra", {kGreen});
}

} // namespace
