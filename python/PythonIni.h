#pragma once

#include <boost/python.hpp>

#include "core/Wstr.h"

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// A configuration read by Python's configparser: "=" is the only delimiter,
// a comment is a line starting with "#", values may span lines, a section or
// an option given twice in one source is an error, and values may refer to
// others with ${section:option}. Section "env" holds the process environment.
//
// Every operation but loadFile needs the caller to hold the GIL and leaves a
// Python error as boost::python::error_already_set with the error pending
// (format it with Python::formatError). An empty section name stands for the
// default section. No lock of its own: one thread at a time uses an object.
class PythonIni {
public:
    // Builds the parser; with `withEnv`, section "env" holds the process
    // environment (taken literally).
    explicit PythonIni(bool withEnv);
    // Takes the GIL itself.
    ~PythonIni();
    PythonIni(const PythonIni&) = delete;
    PythonIni& operator=(const PythonIni&) = delete;

    static const wstr& envSectionName();

    // Parses UTF-8 text; parser errors name `source` when it is not empty.
    // A text that fails to parse changes nothing.
    void readString(const std::string& text, const wstr& source);
    // Adds the values to the section, taken literally ("$" is no reference).
    // Names that differ only in case are one option: the later value wins.
    void readDict(const wstr& section, const std::map<wstr, wstr>& values);

    bool hasSection(const wstr& section) const;
    bool hasOption(const wstr& section, const wstr& option) const;
    std::vector<wstr> sections() const;
    // The section's options, the default section's included.
    std::vector<wstr> options(const wstr& section) const;
    // The value with its references resolved.
    wstr get(const wstr& section, const wstr& option) const;
    const wstr& defaultSection() const { return defaultSection_; }

    // What one named source (a file) held on its own: its sections in order
    // and the options each of them named (options lowered as the parser
    // lowers them; the default section's are left out).
    struct Outline {
        wstr source;
        std::vector<std::pair<wstr, std::vector<wstr>>> sections;
    };
    // The outlines of the named sources read so far, in reading order.
    const std::vector<Outline>& outlines() const { return outlines_; }
    // The source that gave the option its value: the last one that named it
    // in that section. With an empty option, the last source that holds the
    // section. Empty for values of no named source (the environment, the
    // variables).
    wstr sourceOf(const wstr& section, const wstr& option) const;

    // When the pending Python error is the parser's complaint about a
    // reference (one to nothing, a "$" that starts none, references nested
    // too deeply), takes it and returns what is wrong as the end of a
    // sentence that names the option read (`section`, `option`): 'refers to
    // ${var:x}, which does not exist'. The traceback goes to the log at debug
    // level. Any other error stays pending and the result is empty.
    static wstr takeReferenceError(const wstr& section, const wstr& option);
    // Takes the pending Python error and returns it as one line, its type's
    // name and its text ("DuplicateOptionError: While reading from 'x.ini'
    // [line  3]: option 'a' in section 'b' already exists"); the traceback
    // goes to the log at debug level.
    static wstr takeErrorLine();

    // The configuration made of the environment (section "env"), the
    // variables (section "var", taken literally) and the files in order, a
    // later file overriding an earlier one option by option. A missing file
    // is skipped; a folder, an unreadable file and a file that does not parse
    // are skipped with a warning. Throws std::runtime_error when the parser
    // or the variables fail. Takes the GIL itself. Any thread.
    static std::shared_ptr<PythonIni> loadFile(const std::vector<wstr>& files,
                                               const std::map<wstr, wstr>& variables);

private:
    boost::python::object parser() const;
    const wstr& sectionOrDefault(const wstr& section) const;
    void readFile(const wstr& path);

    boost::python::handle<> parser_;
    wstr defaultSection_;
    std::vector<Outline> outlines_;
};
