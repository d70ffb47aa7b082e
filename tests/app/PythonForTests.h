#pragma once

namespace qvtest {

// Starts the interpreter of this test binary on first use; it is stopped
// after the last test. Main thread.
void ensurePython();

} // namespace qvtest
