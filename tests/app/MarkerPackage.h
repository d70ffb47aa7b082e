#pragma once

// A package archive in the build tree's default Packages folder whose plugin
// hands in items (label and target) and, when one is executed, writes its
// target into the marker file, followed by a blank and the arguments when it
// has some. The items named in takingArguments accept arguments after Tab:
// the plugin offers them with the typed text. Removed again by the
// destructor.

#include <boost/python.hpp>

#include "python/GilLock.h"
#include "tests/app/PythonForTests.h"

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace qvtest::e2e {

class MarkerPackage {
public:
    using Items = std::vector<std::pair<std::string, std::string>>;

    MarkerPackage(const std::string& name, const std::filesystem::path& marker, const Items& items,
                  const std::vector<std::string>& takingArguments = {})
        : path_(std::filesystem::path(QV_BUILD_DIR) / "default" / "Packages" /
                (name + ".quorvalent-package")) {
        namespace bp = boost::python;
        const std::string script = R"(import quorvalent
import quorvalent_api as api
class Marker(quorvalent.Plugin):
    def on_catalog(self):
        self.set_catalog([api.CatalogItem(self, 30, label, '', target, int(label in ARGS),
                                          False, 0, 0, '') for label, target in ITEMS])
    def on_suggest(self, text, chain):
        if chain and text.strip():
            item = chain[-1].clone()
            item.set_args(text)
            self.set_suggestions([item], 0, 0)
    def on_execute(self, item, action):
        with open(MARKER, 'w') as f:
            f.write(item.target() + (' ' + item.raw_args() if item.raw_args() else ''))
)";
        qvtest::ensurePython();
        GilLock gil;
        bp::list pairs;
        for (const auto& [label, target] : items)
            pairs.append(bp::make_tuple(label, target));
        bp::dict names;
        names["path"] = path_.string();
        names["script"] = script;
        names["items"] = pairs;
        names["marker"] = marker.string();
        bp::list arguments;
        for (const std::string& label : takingArguments)
            arguments.append(label);
        names["arguments"] = arguments;
        bp::exec("import zipfile\n"
                 "header = 'ITEMS = %r\\nMARKER = %r\\nARGS = %r\\n' % (\n"
                 "    [tuple(p) for p in items], marker, list(arguments))\n"
                 "with zipfile.ZipFile(path, 'w') as archive:\n"
                 "    archive.writestr('marker.py', header + script)\n",
                 names);
    }
    ~MarkerPackage() {
        std::error_code error;
        std::filesystem::remove(path_, error);
    }
    MarkerPackage(const MarkerPackage&) = delete;
    MarkerPackage& operator=(const MarkerPackage&) = delete;

private:
    std::filesystem::path path_;
};

} // namespace qvtest::e2e
