#pragma once

namespace qvtest {

// Starts the interpreter, once per test binary, for the tests that read
// package settings (through configparser); it stops after the last test.
// Main test thread.
void requirePython();

} // namespace qvtest
