#include "app/ProfileClaim.h"

#include <charconv>
#include <unistd.h>

namespace {

// The record: the holder's process id and its socket path, one per line.
std::string recordText(const std::string& socketPath) {
    return std::to_string(getpid()) + "\n" + socketPath + "\n";
}

std::optional<ProfileClaim::Holder> parseRecord(const std::string& text, std::string lockPath) {
    const size_t first = text.find('\n');
    const size_t second = first == std::string::npos ? first : text.find('\n', first + 1);
    if (second == std::string::npos)
        return std::nullopt;
    ProfileClaim::Holder holder;
    const auto [end, error] = std::from_chars(text.data(), text.data() + first, holder.pid);
    if (error != std::errc() || end != text.data() + first || holder.pid <= 0)
        return std::nullopt;
    holder.socketPath = text.substr(first + 1, second - first - 1);
    holder.lockPath = std::move(lockPath);
    return holder;
}

} // namespace

ProfileClaim::Result ProfileClaim::claim(const DataFs::Folders& folders,
                                         const std::string& socketPath) {
    const std::vector<wstr> paths = DataFs::instanceLockPaths(folders);
    Platform::InstanceLock* locks[] = {&profile_, &local_};
    for (size_t i = 0; i < paths.size(); ++i) {
        failedPath_ = wstr::toUtf8(paths[i]);
        const auto result = locks[i]->acquire(failedPath_);
        if (result == Platform::InstanceLock::Acquired && locks[i]->record(recordText(socketPath)))
            continue;
        // Half a claim is none: the holder's record must not read as ours.
        for (Platform::InstanceLock* lock : locks)
            lock->release();
        return result == Platform::InstanceLock::HeldByOther ? HeldByOther : Failed;
    }
    failedPath_.clear();
    return Claimed;
}

std::optional<ProfileClaim::Holder> ProfileClaim::holder(const DataFs::Folders& folders) {
    for (const wstr& path : DataFs::instanceLockPaths(folders)) {
        const std::string lockPath = wstr::toUtf8(path);
        if (auto text = Platform::InstanceLock::heldText(lockPath))
            // A holder that has not written its record yet does not listen yet.
            return parseRecord(*text, lockPath).value_or(Holder{0, {}, lockPath});
    }
    return std::nullopt;
}
