// The console's log box taking one new log record (a line of about a
// hundred characters, as the console formats it) while it already holds
// 0.1 MB of text, and while it holds all it keeps (each append then also
// drops the oldest lines). The window is the real console on Qt's offscreen
// platform (or the display given). The time is that of appendLog (fetching,
// formatting, inserting, laying the new line out, dropping old lines,
// following the end); the repaint that each append leaves to the event loop
// runs between iterations, untimed: it draws the visible lines only,
// whatever the size of the text.
#include "app/AppConfig.h"
#include "gui/Theme.h"
#include "windows/WndConsole.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <utility>

namespace {

// The application as the console sees it: records handed over as they come.
class Host : public WndConsole::Host {
public:
    std::shared_ptr<const AppConfig> config() const override { return settings_; }
    std::vector<Logger::ItemPtr> fetchLog(uint64_t) override { return std::exchange(pending_, {}); }
    wstr runPython(const wstr&) override { return {}; }
    void showAbout(Gui::Wnd&) override {}
    AppState* state() override { return nullptr; }
    void alert(QWidget*) override {}

    // Adds a record; the length of its line in the log box.
    std::size_t add() {
        auto item = std::make_shared<Logger::Item>();
        item->id = ++lastId_;
        item->level = Logger::Info;
        wstr::format(item->message, L"record {:08}: ", lastId_);
        while (item->message.size() < 90)
            item->message += L"chatter ";
        item->time = {2026, 12, 11, 8, 0, 0, 0, 0};
        const std::size_t length = item->message.size() + 14; // time prefix, line end
        pending_.push_back(std::move(item));
        return length;
    }

private:
    std::shared_ptr<AppConfig> settings_ = std::make_shared<AppConfig>();
    std::vector<Logger::ItemPtr> pending_;
    uint64_t lastId_ = 0;
};

void appendOneRecord(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    // Past the cap by a fifth, so that every append drops lines.
    const std::size_t fill = size >= WndConsole::maxLogLength ? size + size / 5 : size;
    Host host;
    WndConsole console(host, std::make_shared<Gui::Theme>());
    console.hwnd()->resize(900, 600);
    console.show(true);
    for (std::size_t written = 0; written < fill;) {
        for (int i = 0; i < 100; ++i)
            written += host.add();
        console.appendLog();
        QApplication::processEvents();
    }
    for (auto _ : state) {
        host.add();
        console.appendLog();
        state.PauseTiming();
        QApplication::processEvents();
        // Below the cap the text stays at the size measured.
        if (size < WndConsole::maxLogLength)
            console.logBox().dropLeadingLines(size);
        state.ResumeTiming();
    }
    state.counters["log_chars"] = console.logBox().getTextLength();
}

BENCHMARK(appendOneRecord)
    ->Arg(100'000)
    ->Arg(WndConsole::maxLogLength)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
