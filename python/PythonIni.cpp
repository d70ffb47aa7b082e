#include <boost/python.hpp>

#include "python/PythonIni.h"

#include "core/FileInfo.h"
#include "core/Logger.h"
#include "core/SysEnv.h"
#include "core/SysFile.h"
#include "core/Utf.h"
#include "python/GilLock.h"
#include "python/Python.h"

#include <exception>

namespace bp = boost::python;

namespace {

constexpr uint64_t maxFileSize = 16 * 1024 * 1024;

void warn(const wstr& message) {
    logMessage(Logger::Warning, message);
}

const wstr& varSectionName() {
    static const wstr name = L"var";
    return name;
}

bp::object newParser() {
    bp::object configparser = bp::import("configparser");
    bp::dict options;
    options["allow_no_value"] = false;
    options["delimiters"] = bp::list(bp::make_tuple("="));
    options["comment_prefixes"] = bp::list(bp::make_tuple("#"));
    options["inline_comment_prefixes"] = bp::object();
    options["strict"] = true;
    options["empty_lines_in_values"] = true;
    options["interpolation"] = configparser.attr("ExtendedInterpolation")();
    bp::object parserClass = configparser.attr("RawConfigParser");
    return bp::object(
        bp::handle<>(PyObject_Call(parserClass.ptr(), bp::tuple().ptr(), options.ptr())));
}

// The file as UTF-8 text; the reason in `error` when it cannot be had.
std::string readText(const wstr& path, wstr& error) {
    std::string text;
    try {
        switch (Utf::readTextFile(text, path, maxFileSize)) {
        case Utf::ReadResult::TooLarge:
            wstr::format(error, L"the file is larger than {} bytes", maxFileSize);
            break;
        case Utf::ReadResult::Unreadable:
            error = L"the file cannot be read";
            break;
        default:
            break;
        }
    } catch (const std::exception& e) {
        error = wstr::fromUtf8(e.what());
    }
    return text;
}

std::vector<wstr> wstrList(const bp::object& list) {
    return bp::extract<std::vector<wstr>>(list);
}

// The sections and own options of a parser that read one source.
PythonIni::Outline outlineOf(const bp::object& parser, const wstr& source) {
    PythonIni::Outline outline{source, {}};
    bp::object defaults = parser.attr("defaults")();
    for (const wstr& section : wstrList(parser.attr("sections")())) {
        std::vector<wstr> own;
        for (const wstr& option : wstrList(parser.attr("options")(section)))
            if (!bp::extract<bool>(defaults.attr("__contains__")(option)))
                own.push_back(option);
        outline.sections.emplace_back(section, std::move(own));
    }
    return outline;
}

wstr textOf(const bp::object& object) {
    return bp::extract<wstr>(bp::str(object));
}

// What is wrong with a reference, as the end of a sentence about the option
// read; empty when `error` is not the parser's complaint about a reference.
wstr referenceProblem(PyObject* error, const wstr& section, const wstr& option) {
    bp::object configparser = bp::import("configparser");
    auto isA = [&](const char* name) {
        return PyObject_IsInstance(error, bp::object(configparser.attr(name)).ptr()) == 1;
    };
    if (!isA("InterpolationError"))
        return {};
    bp::object exception(bp::handle<>(bp::borrowed(error)));
    wstr where;
    wstr innerSection = textOf(exception.attr("section"));
    wstr innerOption = textOf(exception.attr("option"));
    if (innerSection != section || !wstr::equals(innerOption, option, false))
        wstr::format(where, L" (through \"{}\" in section [{}])", innerOption, innerSection);
    wstr problem;
    if (isA("InterpolationMissingOptionError"))
        return wstr::format(problem, L"refers to ${{{}}}{}, which does not exist",
                            textOf(exception.attr("reference")), where);
    if (isA("InterpolationDepthError"))
        return wstr::format(problem,
                            L"has references nested more than {} deep{}: does one lead back to "
                            L"itself?",
                            textOf(configparser.attr("MAX_INTERPOLATION_DEPTH")), where);
    return wstr::format(problem,
                        L"has a reference that cannot be read{}: {} (write $$ for a "
                        L"literal $)",
                        where, textOf(exception.attr("message")));
}

// What `describe` says of the pending error, which stays pending; empty
// when there is none or describing it fails.
template <typename Describe> wstr describePending(Describe describe) {
    PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    if (!type)
        return {};
    PyErr_NormalizeException(&type, &value, &traceback);
    wstr text;
    try {
        text = describe(value);
    } catch (const bp::error_already_set&) {
        PyErr_Clear();
    }
    PyErr_Restore(type, value, traceback);
    return text;
}

} // namespace

PythonIni::PythonIni(bool withEnv) {
    bp::object parser = newParser();
    parser_ = bp::handle<>(bp::borrowed(parser.ptr()));
    defaultSection_ = bp::extract<wstr>(parser.attr("default_section"));
    if (withEnv)
        readDict(envSectionName(), Sys::environmentBlock());
}

// The parser goes with the GIL held; after the interpreter has stopped
// there is nothing left to release.
PythonIni::~PythonIni() {
    if (!Py_IsInitialized()) {
        parser_.release();
        return;
    }
    GilLock gil;
    parser_.reset();
}

const wstr& PythonIni::envSectionName() {
    static const wstr name = L"env";
    return name;
}

bp::object PythonIni::parser() const {
    return bp::object(bp::handle<>(bp::borrowed(parser_.get())));
}

const wstr& PythonIni::sectionOrDefault(const wstr& section) const {
    return section.empty() ? defaultSection_ : section;
}

// configparser keeps what it read before an error, half-processed (values as
// lists, which break every later get of them): the text is checked on a
// parser of its own first, so that a text that fails changes nothing.
void PythonIni::readString(const std::string& text, const wstr& source) {
    bp::str pyText(text.data(), text.size());
    bp::object name = source.empty() ? bp::object("<string>") : bp::object(source);
    bp::object alone = newParser();
    alone.attr("read_string")(pyText, name);
    parser().attr("read_string")(pyText, name);
    if (!source.empty())
        outlines_.push_back(outlineOf(alone, source));
}

wstr PythonIni::sourceOf(const wstr& section, const wstr& option) const {
    for (auto outline = outlines_.rbegin(); outline != outlines_.rend(); ++outline)
        for (const auto& [name, options] : outline->sections)
            if (name == section && (option.empty() || wstr::indexIn(option, options) >= 0))
                return outline->source;
    return {};
}

wstr PythonIni::takeReferenceError(const wstr& section, const wstr& option) {
    wstr problem =
        describePending([&](PyObject* error) { return referenceProblem(error, section, option); });
    if (!problem.empty())
        logMessage(Logger::Debug, wstr::fromUtf8(Python::formatError().c_str()));
    return problem;
}

wstr PythonIni::takeErrorLine() {
    wstr line = describePending([](PyObject* error) {
        return textOf(bp::object(bp::handle<>(bp::borrowed(Py_TYPE(error)))).attr("__name__")) +
               L": " + textOf(bp::object(bp::handle<>(bp::borrowed(error))));
    });
    wstr full = wstr::fromUtf8(Python::formatError().c_str());
    if (line.empty())
        return full;
    logMessage(Logger::Debug, std::move(full));
    return line;
}

void PythonIni::readDict(const wstr& section, const std::map<wstr, wstr>& values) {
    bp::object optionName = parser().attr("optionxform");
    bp::dict options;
    for (const auto& [name, value] : values) {
        wstr literal = value;
        options[optionName(name)] = wstr::replaceAll(literal, L"$", L"$$");
    }
    bp::dict sections;
    sections[sectionOrDefault(section)] = options;
    parser().attr("read_dict")(sections);
}

bool PythonIni::hasSection(const wstr& section) const {
    return bp::extract<bool>(parser().attr("has_section")(sectionOrDefault(section)));
}

bool PythonIni::hasOption(const wstr& section, const wstr& option) const {
    return bp::extract<bool>(parser().attr("has_option")(sectionOrDefault(section), option));
}

std::vector<wstr> PythonIni::sections() const {
    return bp::extract<std::vector<wstr>>(parser().attr("sections")());
}

std::vector<wstr> PythonIni::options(const wstr& section) const {
    return bp::extract<std::vector<wstr>>(parser().attr("options")(sectionOrDefault(section)));
}

wstr PythonIni::get(const wstr& section, const wstr& option) const {
    return bp::extract<wstr>(parser().attr("get")(sectionOrDefault(section), option));
}

std::shared_ptr<PythonIni> PythonIni::loadFile(const std::vector<wstr>& files,
                                               const std::map<wstr, wstr>& variables) {
    std::shared_ptr<PythonIni> ini;
    {
        GilLock gil;
        try {
            ini = std::make_shared<PythonIni>(true);
        } catch (const bp::error_already_set&) {
            Python::throwError("Failed to construct PythonIni object");
        }
        try {
            ini->readDict(varSectionName(), variables);
        } catch (const bp::error_already_set&) {
            Python::throwError("Failed to read default dictionary");
        }
    }
    for (const wstr& path : files) {
        const wstr found = Sys::findFileNoCase(path);
        ini->readFile(found.empty() ? path : found);
    }
    return ini;
}

void PythonIni::readFile(const wstr& path) {
    FileInfo info;
    if (!info.open(path))
        return;
    wstr message;
    if (info.isDirectory()) {
        warn(wstr::format(message, L"Specified config file is not a file: {}", path));
        return;
    }
    wstr error;
    std::string text = readText(path, error);
    if (!error.empty()) {
        warn(wstr::format(message, L"Error while reading config file {}: {}", path, error));
        return;
    }
    GilLock gil;
    try {
        readString(text, path);
    } catch (const bp::error_already_set&) {
        warn(wstr::format(message, L"Error while parsing config file {}: {}", path,
                          takeErrorLine()));
    }
}
