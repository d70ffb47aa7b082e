#include "core/Logger.h"

#include "core/Format.h"
#include "core/MessageBox.h"
#include "core/Mutex.h"
#include "core/Path.h"
#include "core/SysTime.h"
#include "core/Thread.h"
#include "platform/Error.h"
#include "platform/FileMode.h"
#include "platform/Immortal.h"
#include "platform/UniqueFd.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

using namespace Platform;

namespace {

struct LoggerState {
    // Clock and message box caption.
    Mutex configMutex;
    Logger::Clock clock;
    wstr appName;
    // The process uptime is read once; records add the time elapsed since.
    const double createdUptime = Sys::processUptimeMs() / 1000;
    const std::chrono::steady_clock::time_point created = std::chrono::steady_clock::now();

    // The ring, the id counter, the new-record event and the listeners.
    Mutex recordsMutex;
    std::deque<Logger::ItemPtr> ring;
    uint64_t lastId = 0;
    Event newRecord;
    std::vector<Event::Handle> listeners;

    // True while the logger thread writes the records; otherwise log() does.
    std::atomic<bool> threadActive{false};
    // Launched and stopped by start() and stop() only.
    Thread thread;

    // The file and what has been written; serialises the writers.
    Mutex fileMutex;
    bool enabled = false;
    wstr path;
    UniqueFd file;
    bool firstOpen = false;
    uint32_t reportedOpenError = 0; // the failure last reported; 0 once an open succeeds
    uint64_t lastWritten = 0;
};

// Never destroyed: threads left to end by themselves may still log at exit.
LoggerState& state() {
    static Immortal<LoggerState> instance;
    return instance.get();
}

Logger::LocalTime wallClock() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    return {
        static_cast<uint16_t>(local.tm_year + 1900), static_cast<uint16_t>(local.tm_mon + 1),
        static_cast<uint16_t>(local.tm_wday),        static_cast<uint16_t>(local.tm_mday),
        static_cast<uint16_t>(local.tm_hour),        static_cast<uint16_t>(local.tm_min),
        static_cast<uint16_t>(local.tm_sec),         static_cast<uint16_t>(now.tv_nsec / 1000000)};
}

double defaultUptime(const LoggerState& s) {
    const std::chrono::duration<double> since = std::chrono::steady_clock::now() - s.created;
    return s.createdUptime + since.count();
}

// A record is one line of the file, whatever its message holds: a line break
// or another control character (a NUL makes tools take the file for binary)
// is written as \n, \r, \t or \xHH.
void appendEscaped(wstr& line, const wstr& message) {
    for (wchar_t c : message) {
        if (c >= 0x20 && c != 0x7F) {
            line += c;
            continue;
        }
        switch (c) {
        case L'\n':
            line += L"\\n";
            break;
        case L'\r':
            line += L"\\r";
            break;
        case L'\t':
            line += L"\\t";
            break;
        default:
            wstr::format(line, L"\\x{:02x}", unsigned(c));
        }
    }
}

void writeLine(int fd, const Logger::Item& item) {
    const Logger::LocalTime& t = item.time;
    wstr line;
    wstr::format(line, L"{:04}-{:02}-{:02} {:02}:{:02}:{:02}.{:03} [{}] ", t.year, t.month, t.day,
                 t.hour, t.minute, t.second, t.milliseconds, Logger::levelLetter(item.level));
    appendEscaped(line, item.message);
    line += L"\r\n";
    const std::string bytes = wstr::toUtf8(line);
    [[maybe_unused]] auto written = ::write(fd, bytes.data(), bytes.size());
}

void publish(const std::shared_ptr<Logger::Item>& item) {
    LoggerState& s = state();
    Mutex::Lock lock(s.recordsMutex);
    item->id = ++s.lastId;
    if (s.ring.size() >= Logger::ringSize)
        s.ring.pop_front();
    s.ring.push_back(item);
    s.newRecord.set();
    for (const Event::Handle& listener : s.listeners)
        listener->set();
}

bool pathExists(const wstr& path) {
    struct stat info {};
    return ::lstat(wstr::toUtf8(path).c_str(), &info) == 0;
}

// A missing file is fine; a folder in its place is not.
bool deleteFile(const wstr& path) {
    const std::string name = wstr::toUtf8(path);
    struct stat info {};
    if (::lstat(name.c_str(), &info) != 0) {
        if (errno == ENOENT)
            return true;
        setLastErrorFromErrno();
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        setLastError(ERROR_DIR_NOT_EMPTY);
        return false;
    }
    if (::unlink(name.c_str()) == 0 || errno == ENOENT)
        return true;
    setLastErrorFromErrno();
    return false;
}

} // namespace

void Logger::setClock(Clock clock) {
    LoggerState& s = state();
    Mutex::Lock lock(s.configMutex);
    s.clock = std::move(clock);
}

void Logger::setAppName(wstr name) {
    LoggerState& s = state();
    Mutex::Lock lock(s.configMutex);
    s.appName = std::move(name);
}

int Logger::log(Level level, uint32_t flags, wstr source, int32_t line, wstr message) {
    LoggerState& s = state();
    auto item = std::make_shared<Item>();
    wstr caption;
    {
        Mutex::Lock lock(s.configMutex);
        item->uptime = s.clock.uptime ? s.clock.uptime() : defaultUptime(s);
        item->time = s.clock.localTime ? s.clock.localTime() : wallClock();
        caption = s.appName;
    }
    if ((flags & fromScript) && !source.empty()) {
        item->message = Path::fileName(source);
        if (line > 0)
            wstr::format(item->message, L"({})", line);
        item->message += L": ";
        item->prefixLength = item->message.size();
        item->message += message;
    } else {
        item->message = std::move(message);
    }
    item->level = level;
    item->flags = flags;
    item->source = std::move(source);
    item->line = line;
    publish(item);

    if (!s.threadActive)
        writePending();
    if (!(flags & boxStyleMask))
        return 1;
    const uint32_t style = (flags & boxStyleMask) | MessageBox::MB_SYSTEMMODAL;
    // A box with OK alone has nothing to answer: the logging thread (start-up,
    // a configuration reload) goes on while it is shown.
    if ((style & MessageBox::MB_TYPEMASK) == MessageBox::MB_OK) {
        MessageBox::tell(item->message, caption, style);
        return MessageBox::IDOK;
    }
    return MessageBox::ask(item->message, caption, style);
}

std::vector<Logger::ItemPtr> Logger::fetch(uint64_t afterId) {
    LoggerState& s = state();
    Mutex::Lock lock(s.recordsMutex);
    if (s.ring.empty() || afterId >= s.ring.back()->id)
        return {};
    // Ids are consecutive in the ring.
    const uint64_t firstId = s.ring.front()->id;
    const size_t skip = afterId < firstId ? 0 : static_cast<size_t>(afterId - firstId + 1);
    return {s.ring.begin() + static_cast<std::ptrdiff_t>(skip), s.ring.end()};
}

void Logger::enableFile(bool on) {
    LoggerState& s = state();
    Mutex::Lock lock(s.fileMutex);
    if (s.enabled != on)
        s.reportedOpenError = 0;
    s.enabled = on;
    if (!on)
        s.file.reset();
}

void Logger::setFile(const wstr& path) {
    LoggerState& s = state();
    Mutex::Lock lock(s.fileMutex);
    s.file.reset();
    s.path = path;
    s.firstOpen = true;
    s.reportedOpenError = 0;
    if (fileSize(path, -1) >= rotateSize)
        rotate(0, false);
}

void Logger::addListener(const Event::Handle& event) {
    LoggerState& s = state();
    Mutex::Lock lock(s.recordsMutex);
    if (event && std::find(s.listeners.begin(), s.listeners.end(), event) == s.listeners.end())
        s.listeners.push_back(event);
}

void Logger::clearListeners() {
    LoggerState& s = state();
    Mutex::Lock lock(s.recordsMutex);
    s.listeners.clear();
}

void Logger::start() {
    LoggerState& s = state();
    {
        Mutex::Lock lock(s.recordsMutex);
        if (!s.newRecord.valid()) {
            try {
                s.newRecord.create(true);
            } catch (const std::runtime_error&) {
                throw std::runtime_error(formatNarrow(
                    "Failed to create Event object for the logger (error {})", lastError()));
            }
        }
    }
    if (!s.thread.running())
        Thread::launch(s.thread, &Logger::threadProc);
}

void Logger::stop(uint32_t timeoutMs) {
    LoggerState& s = state();
    Thread::stop(s.thread, timeoutMs, false);
    Mutex::Lock lock(s.recordsMutex);
    s.newRecord.close();
}

void Logger::threadProc() {
    LoggerState& s = state();
    Event::Handle newRecord;
    {
        Mutex::Lock lock(s.recordsMutex);
        newRecord = s.newRecord.handle();
    }
    const Event::Handle& stop = Thread::currentStopEvent();
    s.threadActive = true;
    writePending(); // what was logged before the flag went up
    for (;;) {
        const uint32_t result = Event::waitAny({stop, newRecord}, INFINITE);
        if (result == WAIT_OBJECT_0 + 1) {
            writePending();
            continue;
        }
        // From here on log() writes itself; this last pass takes the rest.
        s.threadActive = false;
        if (result == WAIT_OBJECT_0) {
            writePending();
            return;
        }
        const uint32_t error = lastError();
        wstr text;
        logMessage(Error, wstr::format(text,
                                       L"Logger thread unexpectedly stopped (result {}; "
                                       L"error {})",
                                       result, error));
        return;
    }
}

void Logger::writePending() {
    LoggerState& s = state();
    Mutex::Lock lock(s.fileMutex);
    // Records stay pending while they cannot be written: a path set, output
    // switched on or the file opening again later still finds them in the
    // ring, unless the ring dropped them meanwhile.
    if (!s.enabled || s.path.empty())
        return;
    const std::vector<ItemPtr> items = fetch(s.lastWritten);
    if (items.empty())
        return;
    if (!s.file.valid())
        openFile(true, false);
    if (!s.file.valid())
        return;
    if (const uint64_t dropped = items.front()->id - s.lastWritten - 1) {
        Item note = *items.front();
        note.level = Warning;
        note.message.clear();
        wstr::format(note.message,
                     L"{} log records were dropped before they could be written to the log file",
                     dropped);
        writeLine(s.file.get(), note);
    }
    for (const ItemPtr& item : items) {
        s.lastWritten = item->id;
        writeLine(s.file.get(), *item);
    }
    s.file.reset();
}

void Logger::openFile(bool append, bool report) {
    LoggerState& s = state();
    wstr failure;
    {
        Mutex::Lock lock(s.fileMutex);
        s.file.reset();
        if (s.path.empty())
            return;
        const int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (append ? 0 : O_TRUNC);
        s.file.reset(::open(wstr::toUtf8(s.path).c_str(), flags, 0600));
        if (s.file.valid()) {
            // What ran is the user's own business, in a log of an earlier
            // version too.
            Platform::makePrivate(s.file.get());
            s.reportedOpenError = 0;
        } else if (const uint32_t error = setLastErrorFromErrno(); error != s.reportedOpenError) {
            // Each batch tries again; one failure is reported until another
            // one, or a success, ends it.
            s.reportedOpenError = error;
            wstr::format(failure, L"Failed to open/create log file {} (error {})", s.path, error);
        }
        if (s.firstOpen) {
            if (s.file.valid() && fileSize(s.path, s.file.get()) > 0) {
                [[maybe_unused]] auto written = ::write(s.file.get(), "\r\n\r\n", 4);
            }
            s.firstOpen = false;
        }
    }
    // Logged once this lock is let go: a box waits for the user.
    if (!failure.empty())
        log(Warning, report ? MessageBox::MB_ICONWARNING : 0, {}, 0, std::move(failure));
}

int64_t Logger::fileSize(const wstr& path, int fd) {
    struct stat info {};
    if (fd >= 0 && ::fstat(fd, &info) == 0)
        return info.st_size;
    if (::stat(wstr::toUtf8(path).c_str(), &info) == 0 && S_ISREG(info.st_mode))
        return info.st_size;
    return -1;
}

wstr Logger::rotatedName(const wstr& stem, int index, const wstr& extension) {
    wstr name = stem;
    if (index > 0)
        wstr::format(name, L".{}", index);
    if (!extension.empty()) {
        name += L'.';
        name += extension;
    }
    return name;
}

void Logger::rotate(int keep, bool skipShift) {
    LoggerState& s = state();
    Mutex::Lock lock(s.fileMutex);
    if (s.path.empty())
        return;
    const wstr extension = Path::extension(s.path, true);
    const wstr stem =
        extension.empty() ? s.path : wstr(s.path.substr(0, s.path.size() - extension.size() - 1));
    for (int n = 10; n >= 1 && !skipShift; --n) {
        const wstr name = rotatedName(stem, n, extension);
        if (!deleteFile(name))
            throw std::runtime_error(
                formatNarrow("Failed to delete rotated log file {} (error {})", name, lastError()));
        const wstr previous = rotatedName(stem, n - 1, extension);
        if (pathExists(previous) &&
            ::rename(wstr::toUtf8(previous).c_str(), wstr::toUtf8(name).c_str()) != 0)
            throw std::runtime_error(
                formatNarrow("Failed to rename log file from \"{}\" to \"{}\" (error {})", previous,
                             name, setLastErrorFromErrno()));
    }
    for (int n = keep + 1; n <= 9; ++n) {
        const wstr name = rotatedName(stem, n, extension);
        if (!deleteFile(name))
            throw std::runtime_error(formatNarrow(
                "Failed to delete obsolete log file {} (error {})", name, lastError()));
    }
}

wchar_t Logger::levelLetter(Level level) {
    switch (level) {
    case Debug:
        return L'd';
    case Info:
        return L'i';
    case Warning:
        return L'W';
    case Error:
        return L'E';
    case Fatal:
        return L'X';
    }
    return L'?';
}

int logMessage(Logger::Level level, uint32_t flags, const wchar_t* source, int32_t line,
               wstr message) {
    return Logger::log(level, flags, source ? wstr(source) : wstr(), line, std::move(message));
}

int logMessage(Logger::Level level, wstr message) {
    return Logger::log(level, 0, {}, 0, std::move(message));
}
