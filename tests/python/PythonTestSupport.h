#pragma once

#include <boost/python.hpp>

#include "core/Logger.h"
#include "core/Wstr.h"
#include "tests/support/LogRecords.h"
#include "tests/support/TempDir.h"

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

// The UTF-8 texts of the records of one level.
std::vector<std::string> messages(const LogRecords& records, Logger::Level level);

} // namespace qvtest
