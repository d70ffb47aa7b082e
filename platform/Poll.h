#pragma once

#include <vector>

namespace Platform {

// Waits until one of the descriptors is readable or the time-out (milliseconds,
// -1 for none) has passed. Returns the index of the lowest readable descriptor,
// or -1 on time-out. Interrupted waits resume with the time left. Throws
// std::system_error when poll fails.
int pollReadable(const std::vector<int>& fds, int timeoutMs);

} // namespace Platform
