// The LaunchBox on a real X server (run under scripts/with-display.sh) over
// a catalog of file items (bench/FileCorpus.h) at 100,000 and 1,000,000
// items: from the show request to the window mapped and painted, and from
// a keystroke to the result list repainted with the new results. And over a
// few files whose icons nobody asked for yet: from the text typed to the
// rows painted with their icons, which the images thread finds meanwhile.
#include "bench/FilesPlugin.h"
#include "catalog/Catalog.h"
#include "gui/CtrlEditPadded.h"
#include "gui/CtrlList.h"
#include "gui/ImageManager.h"
#include "gui/Theme.h"
#include "windows/ImageManagerIcons.h"
#include "windows/ItemIcons.h"
#include "windows/LaunchBoxHost.h"
#include "windows/WndRun.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

namespace {

using Clock = std::chrono::steady_clock;

// The application as the LaunchBox sees it: a real catalog, a package
// manager that takes every message and does nothing with it.
class Host : public LaunchBoxHost {
public:
    explicit Host(Catalog& catalog) : catalog_(catalog), settings_(std::make_shared<AppConfig>()) {}
    std::shared_ptr<const AppConfig> config() override { return settings_; }
    bool hasPackageManager() override { return true; }
    void search(const std::shared_ptr<CatalogResults>& results, const wstr& text,
                const CatalogItemPtr& chainItem, std::size_t orderedCount) override {
        catalog_.search(results, text, chainItem, orderedCount);
    }
    std::size_t historyResults(CatalogResults&) override { return 0; }
    std::size_t countItemActions(const CatalogItemPtr& item) override {
        return catalog_.countItemActions(item);
    }
    std::size_t getItemActions(const CatalogItemPtr& item,
                               std::vector<CatalogActionPtr>& actions) override {
        return catalog_.getItemActions(item, actions);
    }
    bool recordHit(const CatalogItemPtr&, const CatalogActionPtr&) override { return true; }
    void addSearchTerms(const wstr&, const CatalogItemPtr&) override {}
    wstr historyTerms(const CatalogItemPtr&) override { return {}; }
    bool eraseFromHistory(const CatalogItemPtr&, Gui::Wnd&) override { return false; }
    void clearSuggestions() override { catalog_.clearSuggestions(); }
    std::size_t catalogItemCount() override { return catalog_.itemCount(); }
    bool sendMessage(uint64_t, uint32_t, const PluginMsg::Data&) override { return true; }
    void broadcastMessage(uint32_t, const PluginMsg::Data&) override {}
    void cancelMessages(uint32_t) override {}
    uint64_t activeTasks() override { return 0; }
    std::size_t packageCount() override { return 1; }
    wstr packageName(uint32_t) override { return L"Files"; }
    wstr clipboardText() override { return {}; }
    std::optional<Sys::Rect> storedGeometry() override { return std::nullopt; }
    void captureGeometry(const Sys::Rect&) override {}
    void postMainCommand(uint32_t) override {}
    void showAbout() override {}
    void showTrayMenu(Gui::Wnd&) override {}
    void showItemMenu(const CatalogItemPtr&, Gui::Wnd&, QPoint) override {}
    void showItemProperties(const CatalogItemPtr&) override {}
    MainMenus* mainMenus() override { return nullptr; }

private:
    Catalog& catalog_;
    std::shared_ptr<AppConfig> settings_;
};

// Counts the paints of a widget.
class PaintCounter : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
    int paints = 0;
};

struct Fixture {
    Catalog catalog;
    Host host{catalog};
    NoItemIcons icons;
    std::unique_ptr<WndRun> box;
    PaintCounter windowPaints;
    PaintCounter listPaints;
};

QApplication& application() {
    static int argc = 1;
    static char name[] = "bench_LaunchBox";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

std::unique_ptr<Fixture> build(std::size_t count) {
    auto fixture = std::make_unique<Fixture>();
    std::vector<CatalogItemPtr> items = bench::fileItems(bench::fileCorpus(count));
    bench::FilesPlugin plugin;
    fixture->catalog.insertPluginItems(plugin, items, true);
    auto theme = std::make_shared<Gui::Theme>();
    theme->layout = Gui::Theme::LayoutAll;
    fixture->box = std::make_unique<WndRun>(nullptr, theme, fixture->host, fixture->icons);
    fixture->box->hwnd()->installEventFilter(&fixture->windowPaints);
    fixture->box->list()
        .hwnd()
        ->findChild<QWidget*>(QStringLiteral("qt_scrollarea_viewport"))
        ->installEventFilter(&fixture->listPaints);
    return fixture;
}

// Released before the process ends, while Qt still runs.
std::map<std::size_t, std::unique_ptr<Fixture>> fixtures;

Fixture& fixtureFor(std::size_t count) {
    auto found = fixtures.find(count);
    if (found != fixtures.end())
        return *found->second;
    fixtures.clear();
    return *(fixtures[count] = build(count));
}

template <typename Condition> void processUntil(Condition condition) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!condition() && Clock::now() < deadline)
        QApplication::processEvents(QEventLoop::AllEvents, 1);
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5)];
}

void report(benchmark::State& state, const std::vector<double>& times) {
    state.counters["p50_ms"] = percentile(times, 0.5);
    state.counters["p99_ms"] = percentile(times, 0.99);
}

// From show(true) to the window exposed by the X server and painted.
void showToPainted(benchmark::State& state) {
    application();
    Fixture& f = fixtureFor(static_cast<std::size_t>(state.range(0)));
    std::vector<double> times;
    for (auto _ : state) {
        const int before = f.windowPaints.paints;
        const auto start = Clock::now();
        f.box->show(true);
        processUntil([&] {
            QWindow* window = f.box->hwnd()->windowHandle();
            return window && window->isExposed() && f.windowPaints.paints > before;
        });
        times.push_back(msSince(start));
        state.PauseTiming();
        f.box->show(false);
        processUntil([&] { return !f.box->hwnd()->windowHandle()->isExposed(); });
        state.ResumeTiming();
    }
    report(state, times);
}

// From a key press delivered to the search box to the list painted with
// the results of the new text; the box starts empty, or holds one letter.
void keystrokeToRepainted(benchmark::State& state) {
    application();
    Fixture& f = fixtureFor(static_cast<std::size_t>(state.range(0)));
    f.box->show(true);
    processUntil([&] { return f.box->hwnd()->windowHandle()->isExposed(); });
    QWidget* edit = f.box->searchBox().hwnd();
    const QString letters = QStringLiteral("nesatrio");
    std::vector<double> times;
    double results = 0;
    int next = 0;
    for (auto _ : state) {
        const QChar letter = letters[next++ % letters.size()];
        if (state.range(1) > 0) {
            state.PauseTiming();
            f.box->searchBox().setText(L"s");
            QApplication::processEvents();
            state.ResumeTiming();
        }
        const int before = f.listPaints.paints;
        const auto start = Clock::now();
        QKeyEvent press(QEvent::KeyPress, letter.unicode() - 'a' + Qt::Key_A, Qt::NoModifier,
                        QString(letter));
        QApplication::sendEvent(edit, &press);
        processUntil([&] { return f.listPaints.paints > before; });
        times.push_back(msSince(start));
        state.PauseTiming();
        results += static_cast<double>(f.box->results()->size());
        f.box->searchBox().setText({});
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["results"] = results / static_cast<double>(times.size());
    report(state, times);
    f.box->show(false);
}

// A theme of plain squares for a folder, a text and a picture, the three
// files, and their items, in a temporary folder.
class IconFiles {
public:
    IconFiles() {
        char pattern[] = "/tmp/bench_icons_XXXXXX";
        root_ = mkdtemp(pattern);
        std::filesystem::create_directories(root_ / "icons/Bench/places");
        std::filesystem::create_directories(root_ / "icons/Bench/mimetypes");
        std::filesystem::create_directories(root_ / "files/folder");
        std::ofstream(root_ / "icons/Bench/index.theme")
            << "[Icon Theme]\nName=Bench\nDirectories=places,mimetypes\n"
               "[places]\nSize=32\nType=Scalable\nMinSize=8\nMaxSize=256\n"
               "[mimetypes]\nSize=32\nType=Scalable\nMinSize=8\nMaxSize=256\n";
        const std::pair<const char*, Qt::GlobalColor> icons[] = {
            {"places/inode-directory.png", Qt::blue},
            {"mimetypes/text-plain.png", Qt::red},
            {"mimetypes/image-png.png", Qt::green},
        };
        for (const auto& [file, colour] : icons) {
            QImage square(64, 64, QImage::Format_ARGB32);
            square.fill(colour);
            square.save(QString::fromStdString((root_ / "icons/Bench" / file).string()));
        }
        std::ofstream(root_ / "files/note.txt") << "hello\n";
        QImage picture(4, 4, QImage::Format_ARGB32);
        picture.fill(Qt::gray);
        picture.save(QString::fromStdString((root_ / "files/picture.png").string()));
        std::vector<bench::FileEntry> files;
        for (const char* name : {"folder", "note.txt", "picture.png"})
            files.push_back({std::string("iconbench ") + name, (root_ / "files" / name).string()});
        bench::FilesPlugin plugin;
        catalog.insertPluginItems(plugin, bench::fileItems(files), true);
    }
    ~IconFiles() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    IconFiles(const IconFiles&) = delete;
    IconFiles& operator=(const IconFiles&) = delete;

    std::string themes() const { return (root_ / "icons").string(); }

    Catalog catalog;

private:
    std::filesystem::path root_;
};

// Released before the process ends, while Qt still runs.
std::unique_ptr<IconFiles> iconFiles;

// Hands the images thread's timer to the LaunchBox as the application does:
// later, on the user-interface thread.
class IconsHost : public QObject, public ImageManager::Host {
public:
    explicit IconsHost(std::string themes) : themes_(std::move(themes)) {}
    bool event(QEvent* event) override {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        if (box)
            box->onIconsChanged();
        return true;
    }
    void setTimer(uint32_t id, uint32_t) override {
        if (id == ImageManager::timerIcons)
            QCoreApplication::postEvent(this, new QEvent(QEvent::User));
    }
    wstr webBrowser() override { return {}; }
    bool isRemote(const wstr&) override { return false; }
    std::shared_ptr<Gui::IconSource> itemPackageIcon(uint64_t, uint64_t) override {
        return nullptr;
    }
    std::shared_ptr<Gui::IconSource> findPackageIcon(uint64_t) override { return nullptr; }
    ImageManager::IconSetup iconSetup() override { return {"Bench", 1.0, {{themes_}, {}}}; }

    WndRun* box = nullptr;

private:
    std::string themes_;
};

// The image manager's icons, counting the rows drawn with and without one
// since the list's last paint began.
class CountedIcons : public QObject, public ItemIcons {
public:
    explicit CountedIcons(std::shared_ptr<ImageManager> manager) : icons_(std::move(manager)) {}
    QImage icon(const CatalogItemPtr& item, int size, bool atFront) override {
        QImage image = icons_.icon(item, size, atFront);
        ++(image.isNull() ? missing : drawn);
        return image;
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            missing = drawn = 0;
        return false;
    }

    int missing = 0;
    int drawn = 0;

private:
    ImageManagerIcons icons_;
};

// From the text set in a shown LaunchBox to its rows painted with their
// icons; every round starts with a new image manager, which knows none.
void textToIconsPainted(benchmark::State& state) {
    application();
    if (!iconFiles)
        iconFiles = std::make_unique<IconFiles>();
    IconFiles& files = *iconFiles;
    Host host(files.catalog);
    auto theme = std::make_shared<Gui::Theme>();
    theme->layout = Gui::Theme::LayoutAll;
    theme->satelliteShow = Gui::Theme::ShowNever;
    std::vector<double> times;
    for (auto _ : state) {
        state.PauseTiming();
        auto imageHost = std::make_shared<IconsHost>(files.themes());
        auto images = ImageManager::create(imageHost);
        CountedIcons icons(images);
        auto box = std::make_unique<WndRun>(nullptr, theme, host, icons);
        imageHost->box = box.get();
        box->list()
            .hwnd()
            ->findChild<QWidget*>(QStringLiteral("qt_scrollarea_viewport"))
            ->installEventFilter(&icons);
        box->show(true);
        processUntil([&] { return box->hwnd()->windowHandle()->isExposed(); });
        state.ResumeTiming();
        const auto start = Clock::now();
        box->searchBox().setText(L"iconbench");
        processUntil([&] { return icons.drawn >= 3 && icons.missing == 0; });
        times.push_back(msSince(start));
        state.PauseTiming();
        images->stop(5000);
        imageHost->box = nullptr;
        box.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    report(state, times);
}

BENCHMARK(showToPainted)->Arg(100000)->Arg(1000000)->Iterations(40)->Unit(benchmark::kMillisecond);
// The first letter typed into an empty box, and a second one after "s".
BENCHMARK(keystrokeToRepainted)
    ->Args({100000, 0})
    ->Args({100000, 1})
    ->Args({1000000, 0})
    ->Args({1000000, 1})
    ->Iterations(40)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(textToIconsPainted)->Iterations(20)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    fixtures.clear();
    iconFiles.reset();
    benchmark::Shutdown();
    return 0;
}
