#pragma once

#include <boost/python.hpp>

#include "core/Wstr.h"
#include "tests/support/TempDir.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qvtest {

// The interpreter of this test binary: started once before the first test
// (with these folders) and stopped after the last.
struct PythonFolders {
    TempDir packages; // the profile's packages folder, also the override folder
};
const PythonFolders& pythonFolders();

// Runs Python statements in a fresh namespace holding `names` and returns
// the namespace. The caller holds the GIL.
boost::python::dict runPython(const std::string& code,
                              boost::python::dict names = boost::python::dict());

// Log records written from now on: mark() first, then messages(level).
class LogWatch {
public:
    LogWatch();
    std::vector<wstr> messages(int level) const;

private:
    uint64_t since_;
};

} // namespace qvtest
