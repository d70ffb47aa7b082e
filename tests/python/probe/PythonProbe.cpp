// Starts the interpreter with the folders given on the command line, reports
// what start-up did on standard output (then imports the modules for plugins
// as the first plugin script would), stops it, and reports again. Each
// output line is "<key>: <value>", newlines in values written as "\n".
// Usage: python_probe <home> <search path> <override folder> <bytecode folder>
#include <boost/python.hpp>

#include "core/Logger.h"
#include "python/GilLock.h"
#include "python/Python.h"

#include <exception>
#include <iostream>
#include <string>

namespace bp = boost::python;

namespace {

std::string escaped(std::string text) {
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2))
        text.replace(at, 1, "\\n");
    return text;
}

void report(const std::string& key, const std::string& value) {
    std::cout << key << ": " << escaped(value) << "\n";
}

void reportStartUp() {
    GilLock gil;
    bp::dict space;
    bp::exec(
        "import sys, quorvalent_private\n"
        "override = repr(quorvalent_private.override_path)\n"
        "program = ' '.join(m for m in ['quorvalent', 'quorvalent_util', 'quorvalent_wintypes',\n"
        "                               'quorvalent_net'] if m in sys.modules)\n"
        "heavy = ['ctypes', 'decimal', 'importlib.abc', 'inspect', 'ssl', 'urllib.request',\n"
        "         'zipfile']\n"
        "at_start = ' '.join(m for m in heavy if m in sys.modules)\n"
        "quorvalent_private.load_plugin_modules()\n"
        "for_plugins = ' '.join(m for m in heavy if m in sys.modules)\n"
        "import os, threading\n"
        "cached = threading.__cached__\n"
        "bytecode = ('read' if sys.pycache_prefix and cached.startswith(sys.pycache_prefix)\n"
        "            and os.path.isfile(cached) else 'not there: ' + cached)\n",
        space);
    report("override", bp::extract<std::string>(space["override"]));
    report("program modules", bp::extract<std::string>(space["program"]));
    report("heavy modules at start", bp::extract<std::string>(space["at_start"]));
    report("heavy modules for plugins", bp::extract<std::string>(space["for_plugins"]));
    report("bytecode", bp::extract<std::string>(space["bytecode"]));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::cerr << "usage: python_probe <home> <search path> <override folder> <bytecode "
                     "folder>\n";
        return 2;
    }
    int status = 0;
    try {
        Python::init(wstr::fromUtf8(argv[1]), wstr::fromUtf8(argv[2]), wstr::fromUtf8(argv[3]),
                     wstr::fromUtf8(argv[4]));
        report("gil held", PyGILState_Check() ? "yes" : "no");
        reportStartUp();
        Python::finalize();
        report("main namespace", Python::mainNamespace().ptr() == Py_None ? "None" : "set");
    } catch (const std::exception& e) {
        report("error", e.what());
        status = 1;
    }
    for (const auto& item : Logger::fetch(0))
        report("log " + std::to_string(int(item->level)), wstr::toUtf8(item->message));
    return status;
}
