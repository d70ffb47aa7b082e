// The docstrings of the builtin module quorvalent_api, so that help() in the
// console explains each function and class. They are kept in one table, apart
// from the definitions: each function's starts with its Python signature,
// from which its definition takes the names (and defaults) of its
// parameters; the classes' are attached once the module is defined.
#include <boost/python.hpp>

#include "python/PythonBuiltins.h"

#include "python/ApiDefinition.h"

#include <string>

namespace bp = boost::python;

namespace PythonBuiltins {

const std::vector<ApiDocstring>& apiDocstrings() {
    static const std::vector<ApiDocstring> docs = {
        // --- Identity ---------------------------------------------------------
        {"name", "name() -> str\n\nThe program's name in lower case: \"quorvalent\"."},
        {"label", "label() -> str\n\nThe program's name as shown: \"Quorvalent\"."},
        {"version_tuple",
         "version_tuple() -> (int, int, int)\n\nThe version as three numbers; missing parts are "
         "0 (\"2.24\" gives (2, 24, 0))."},
        {"version_string", "version_string() -> str\n\nThe version, e.g. \"2.24\"."},
        {"arch", "arch() -> str\n\nThe architecture the program was built for: \"x64\"."},
        {"computer_name", "computer_name() -> str\n\nThe name of this computer."},
        {"user_name", "user_name() -> str\n\nThe name of the user running the program."},

        // --- Folders and packages ----------------------------------------------
        {"packages_list", "packages_list() -> list of str\n\nThe names of the known packages; "
                          "empty while the program shuts down."},
        {"exe_path", "exe_path() -> str\n\nThe program's start file (<install>/quorvalent). "
                     "Raises RuntimeError while the program shuts down, as do the folder "
                     "functions below."},
        {"live_packages_dir",
         "live_packages_dir() -> str\n\nThe folder of packages kept as folders "
         "(<profile>/Packages)."},
        {"installed_packages_dir",
         "installed_packages_dir() -> str\n\nThe folder of packages kept as "
         ".quorvalent-package archives (<profile>/InstalledPackages)."},
        {"user_config_dir",
         "user_config_dir() -> str\n\nThe folder of the user's configuration files "
         "(<profile>/User)."},
        {"packages_cache_dir",
         "packages_cache_dir() -> str\n\nThe folder that holds one cache folder per package "
         "(<local>/Packages); a package may write in the folder of its own name."},
        {"should_terminate",
         "should_terminate() -> bool\n\nTrue when the work of the calling thread is no longer "
         "wanted: its message was cancelled or superseded, or its plugin or package was "
         "unloaded, or the program is shutting down (then True on every thread). Long work "
         "checks it often and returns when it is True. Otherwise False on a thread of no "
         "plugin."},
        {"load_icon",
         "load_icon(sources, force, package) -> int or None\n\nRegisters an icon with the "
         "calling plugin's package and returns its handle for CatalogItem (None when no package "
         "takes it). sources: a list of str, tried in order: \"@\" and an image file's path "
         "(\"@/usr/share/pixmaps/app.png\"), \"res://<package>/<path>\" (a file of a package) "
         "or \"cache://<package>/<path>\" (a file in a package's cache folder). force: a bool, "
         "ignored. package: None, or on a thread of no plugin the name of the package to "
         "register the icon with. The same sources give the same handle."},
        {"free_icon",
         "free_icon(handle) -> bool\n\nUnregisters an icon of load_icon; False for a handle "
         "that is not registered."},

        // --- Threads, streams, log ---------------------------------------------
        {"register_python_thread",
         "register_python_thread(guard, owner_thread_id)\n\nFor the program's start-up module "
         "only: ties a new Python thread to the plugin of the thread that started it."},
        {"unregister_python_thread",
         "unregister_python_thread(guard)\n\nFor the program's start-up module only: ends the "
         "tie made by register_python_thread."},
        {"std_print", "std_print(stream, text)\n\nWrites text to Python's standard output "
                      "(stream 1) or error (2): each complete line becomes a log record."},
        {"std_flush", "std_flush(stream)\n\nLogs the complete lines still buffered for the "
                      "stream (1 output, 2 error)."},
        {"std_flush_all", "std_flush_all()\n\nLogs everything buffered for both streams, "
                          "incomplete lines included."},
        {"log", "log(source, line, level, message)\n\nWrites a record to the program's log. "
                "source: a str naming where it comes from (may be empty); line: an int (0 for "
                "none); level: 1 info, 2 warning, 3 error, 4 fatal (any other int logs "
                "as info); message: the text. In the log file the record is one line: line "
                "breaks and other control characters of the message are written as \\n, \\r, "
                "\\t or \\xHH."},
        {"hash_string",
         "hash_string(text) -> int\n\nThe 64-bit hash the catalog uses for ids, of the text's "
         "UTF-8 bytes (up to its first NUL)."},
        {"fuzzy_score",
         "fuzzy_score(pattern, candidate, case_sensitive) -> int\n\nHow well the candidate "
         "matches the typed pattern, as the search scores items: 0 for no match, higher is "
         "better."},

        // --- Shell -----------------------------------------------------------------
        {"get_clipboard", "get_clipboard() -> str\n\nThe clipboard's text; empty when it holds "
                          "none."},
        {"set_clipboard", "set_clipboard(text) -> bool\n\nPuts the text on the clipboard; True "
                          "when it is there."},
        {"cmdline_split", "cmdline_split(command_line) -> list of str\n\nSplits a command line "
                          "into its arguments (double quotes group, a backslash escapes a "
                          "quote). Raises ValueError when it cannot be split."},
        {"cmdline_quote",
         "cmdline_quote(args, always_quote) -> str\n\nJoins the arguments into a command line "
         "that cmdline_split gives back, quoting those that need it (every one when "
         "always_quote is True)."},
        {"file_attributes",
         "file_attributes(path, follow_links) -> int\n\nThe kind and attributes of the path as "
         "bits: 0x2 folder, 0x4 file, 0x8 link (a desktop entry; with follow_links its "
         "target's bits), 0x10 executable, 0x20 console program, 0x20000 read-only, 0x40000 "
         "hidden. 0 when the path does not exist."},
        {"read_link",
         "read_link(path) -> dict or None\n\nReads a desktop entry (.desktop file) as a link: "
         "a dict with target, params, working_dir, desc, icon_location (\"path,index\"), and "
         "show_cmd (None), runas (False), flags (0), is_msi (False). None when the file is no "
         "link or has no target."},
        {"scan_directory",
         "scan_directory(folder, patterns, flags, max_depth) -> list of str or int\n\nLists "
         "the entries of the folder whose names match one of the wildcard patterns (a list of "
         "str). flags: 0x1 files, 0x2 folders, 0x4 hidden entries too, 0x8 case-sensitive "
         "names, 0x10 stop at the first error. max_depth: 0 for the folder alone, else how "
         "many levels below it (0xFFFFFFFF: no limit); paths below the folder are relative to "
         "it. Returns the list, or an error number (3: the folder does not exist)."},
        {"shell_execute",
         "shell_execute(file, parameters, folder, verb, api_flags, show_command) -> int\n\n"
         "Starts what the file stands for and returns at once: 0 on success, else an error "
         "number (2: file not found). An executable runs with the parameters (a command line) "
         "in the folder when it is not empty; a bare name (no '/') is looked up in PATH only. "
         "A desktop entry runs its program, with the parameters as the files of its Exec line "
         "and in a terminal emulator when it says Terminal=true, when it is executable or in an "
         "applications folder of the XDG data folders, else nothing runs (5: access denied). "
         "Documents, "
         "folders and URLs open with the desktop's application (xdg-open). verb: \"\" or "
         "\"open\", \"explore\", or \"edit\" ($VISUAL, else $EDITOR); others fail. api_flags: "
         "None or an int, not used; show_command: an int, not used."},
        {"shell_known_folder_path",
         "shell_known_folder_path(guid) -> str\n\nThe folder of a known-folder identifier "
         "(\"{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}\", braces optional), through the XDG "
         "folders. Raises ValueError for a malformed identifier and OSError for a folder this "
         "system does not have."},
        {"shell_resolve_exe_path",
         "shell_resolve_exe_path(name) -> str or None\n\nThe full path of an executable, "
         "looked up in PATH when the name has no folder; None when there is none."},
        {"shell_string_resource",
         "shell_string_resource(text) -> None\n\nIndirect string resources do not exist on "
         "this system: always None."},
        {"shell_url_scheme_to_command",
         "shell_url_scheme_to_command(url) -> (str, str) or (None, None)\n\nThe command line "
         "of the desktop's handler of the URL's scheme (\"https://...\" or a bare \"https\") "
         "and its icon."},

        // --- Settings --------------------------------------------------------------
        {"app_settings",
         "app_settings() -> int\n\nThe handle of the program's settings for the settings_* "
         "functions (sections app, gui, external, console, network, var; values as text; the "
         "network proxy as written: system, none, or its scheme=url lines)."},
        {"settings_load",
         "settings_load(package) -> int or None\n\nThe handle of the calling plugin's package "
         "settings, read on first use. package: None, or on a thread of no plugin the name of "
         "a loaded package. None when there is no such package."},
        {"settings_sections",
         "settings_sections(handle) -> list of str\n\nThe section names of the settings."},
        {"settings_keys",
         "settings_keys(handle, section) -> list of str\n\nThe keys of a section (lower "
         "case); empty for a section that does not exist."},
        {"settings_has_section",
         "settings_has_section(handle, section) -> bool\n\nWhether the section exists "
         "(section names are compared with case)."},
        {"settings_has",
         "settings_has(handle, section, key) -> bool\n\nWhether the key exists in the "
         "section (keys without case)."},
        {"settings_get",
         "settings_get(handle, section, key) -> str or None\n\nThe value, with its ${...} "
         "references resolved; None when the key does not exist."},

        // --- Plugin ----------------------------------------------------------------
        {"Plugin",
         "The base class of plugins. A plugin is a class derived from it in a script at the "
         "top of a package; the program makes one instance per load of the package and calls "
         "its methods on_start(), on_catalog(), on_suggest(text, chain), on_execute(item, "
         "action), on_activated(), on_deactivated() and on_events(flags) when it defines them. "
         "The methods that change the catalog act only inside such a call."},
        {"Plugin.__init__",
         "Plugin()\n\nA derived class that defines __init__ must call super().__init__() "
         "first: without it the instance is no plugin (an error in the log names the file and "
         "line)."},
        {"Plugin.full_name", "full_name() -> str\n\nThe plugin's name: \"<package>.<class>\"."},
        {"Plugin.name", "name() -> str\n\nThe same as full_name()."},
        {"Plugin.id", "id() -> int\n\nThe plugin's 64-bit id, made from its full name; "
                      "CatalogAction takes it."},
        {"Plugin.revision",
         "revision() -> int\n\nWhich load of the package this instance belongs to: 1 for the "
         "first, one more at each reload."},
        {"Plugin.package_id", "package_id() -> int\n\nThe 32-bit id of the plugin's package "
                              "(the high half of id())."},
        {"Plugin.package_full_name", "package_full_name() -> str\n\nThe package's name."},
        {"Plugin.package_name", "package_name() -> str\n\nThe same as package_full_name()."},
        {"Plugin.should_terminate",
         "should_terminate() -> bool\n\nThe module function should_terminate(), and True as "
         "well when this instance is obsolete (its package was reloaded or unloaded)."},
        {"Plugin.set_actions",
         "set_actions(category, actions) -> int\n\nReplaces the plugin's actions for items of "
         "the category with the list of CatalogAction; returns how many were kept (0 when "
         "refused)."},
        {"Plugin.clear_actions",
         "clear_actions(category)\n\nRemoves the plugin's actions for the category."},
        {"Plugin.clear_all_actions", "clear_all_actions()\n\nRemoves all the plugin's actions."},
        {"Plugin.set_catalog",
         "set_catalog(items)\n\nReplaces the plugin's items in the catalog with the list of "
         "CatalogItem; an empty list removes them all. Invalid items and error items are left "
         "out with a warning."},
        {"Plugin.merge_catalog",
         "merge_catalog(items)\n\nAdds the items to the plugin's items in the catalog, "
         "updating those of the same id, and keeps the others."},
        {"Plugin.set_suggestions",
         "set_suggestions(items, match_method, sort_method)\n\nReplaces the plugin's "
         "suggestions for the current search text (an empty list removes them). match_method: "
         "0 all items are shown, 1000 items are matched against the text like the catalog's. "
         "sort_method: 0 keep the list's order, 100 by target, 200 by item, 1000 by score "
         "(only with match 1000). Other pairs are refused with a warning."},
        {"Plugin.has_resource",
         "has_resource(name) -> bool\n\nWhether the package has a file of that name (\"a.txt\", "
         "\"sub/b.png\"), without case, that the load functions read: a FIFO or a device is "
         "none."},
        {"Plugin.find_resources",
         "find_resources(pattern) -> list of str\n\nThe names of the package's files whose "
         "name matches the wildcard pattern, in its subfolders too; a pattern with a folder "
         "(\"lib/*\") matches the whole names below that folder."},
        {"Plugin.load_binary_resource",
         "load_binary_resource(name) -> bytes\n\nThe content of a file of the package, at most "
         "16 MiB. Raises FileNotFoundError when there is none or it is not a regular file (a FIFO, "
         "a device), OSError when it is larger or cannot be read."},
        {"Plugin.load_text_resource",
         "load_text_resource(name) -> str\n\nA file of the package as text: UTF-8, UTF-16 or "
         "UTF-32 with a byte-order mark, else UTF-8 when it is valid, else Windows-1252. Raises "
         "like load_binary_resource, and ValueError when a marked file cannot be decoded."},
        {"Plugin.set_default_icon",
         "set_default_icon(handle)\n\nThe icon (of load_icon) of the plugin's items that have "
         "none; 0 removes it. Raises ValueError for a handle of another package."},

        // --- CatalogAction -----------------------------------------------------------
        {"CatalogAction",
         "Something a plugin can do with an item: offered for the items of a category through "
         "Plugin.set_actions, and passed to on_execute with the chosen item."},
        {"CatalogAction.__init__",
         "CatalogAction(plugin_id, name, label, short_desc, data_bag)\n\nplugin_id: the "
         "plugin's id() (an int); 0 or the program's own id give an object whose methods all "
         "raise. name: the action's name, lower case and printable (e.g. "
         "\"open\"). label: what the user sees; must not be empty. short_desc: a short "
         "description (may be empty). data_bag: any text the plugin keeps with the action. An "
         "invalid name or an empty label gives an invalid action (valid() is False), with a "
         "warning."},
        {"CatalogAction.valid", "valid() -> bool\n\nWhether the action is usable."},
        {"CatalogAction.plugin_id", "plugin_id() -> int\n\nThe id of the owning plugin."},
        {"CatalogAction.app_owned",
         "app_owned() -> bool\n\nWhether the action is one of the program's own file and URL "
         "actions."},
        {"CatalogAction.name", "name() -> str\n\nThe action's name."},
        {"CatalogAction.label", "label() -> str\n\nThe action's label."},
        {"CatalogAction.short_desc", "short_desc() -> str\n\nThe short description."},
        {"CatalogAction.data_bag", "data_bag() -> str\n\nThe plugin's text."},

        // --- CatalogItem ---------------------------------------------------------------
        {"CatalogItem",
         "One entry of the catalog or of a plugin's suggestions: what the user finds by "
         "typing and then executes. Two items are equal when their ids are."},
        {"CatalogItem.__init__",
         "CatalogItem(plugin, category, label, short_desc, target, args_hint, loop_on_suggest, "
         "hit_hint, icon_handle, data_bag)\n\nplugin: the plugin instance (self). category: 1 "
         "error, 10 keyword, 20 file, 30 cmdline, 40 url, 50 expression, 60 reference. label: "
         "the text the search matches and shows. short_desc: a second line (may be empty). "
         "target: what the item stands for (a path, a command, an address; a file's path is "
         "cleaned); must not be empty except for an error item. args_hint: 0 forbidden, "
         "1 accepted, 2 required. loop_on_suggest: a bool kept with the item for the search "
         "window. hit_hint: 0 keepall (the history keeps the item with "
         "its arguments), 1 ignore (not kept), 2 noargs (kept without arguments). icon_handle: "
         "0 or a handle of load_icon. data_bag: any text the plugin keeps with the item. The "
         "id is a hash of plugin, category, target (a file's without case) and arguments, "
         "not of the label. An error item forbids arguments and is never kept in the "
         "history."},
        {"CatalogItem.valid",
         "valid() -> bool\n\nWhether the catalog accepts the item: a plugin, a known category, "
         "a label and a target, hints in range."},
        {"CatalogItem.id", "id() -> int\n\nThe 64-bit id (with the arguments)."},
        {"CatalogItem.category", "category() -> int\n\nThe category number."},
        {"CatalogItem.label", "label() -> str\n\nThe label."},
        {"CatalogItem.set_label", "set_label(label)\n\nChanges the label."},
        {"CatalogItem.short_desc", "short_desc() -> str\n\nThe short description."},
        {"CatalogItem.set_short_desc", "set_short_desc(short_desc)\n\nChanges the short "
                                       "description."},
        {"CatalogItem.target", "target() -> str\n\nThe target."},
        {"CatalogItem.hit_hint", "hit_hint() -> int\n\nThe hit hint (0 keepall, 1 ignore, 2 "
                                 "noargs)."},
        {"CatalogItem.args_hint", "args_hint() -> int\n\nThe arguments hint (0 forbidden, 1 "
                                  "accepted, 2 required)."},
        {"CatalogItem.accepts_args", "accepts_args() -> bool\n\nWhether arguments are accepted "
                                     "or required."},
        {"CatalogItem.requires_args", "requires_args() -> bool\n\nWhether arguments are "
                                      "required."},
        {"CatalogItem.loop_on_suggest", "loop_on_suggest() -> bool\n\nThe loop-on-suggest "
                                        "flag."},
        {"CatalogItem.set_loop_on_suggest", "set_loop_on_suggest(loop)\n\nChanges the flag."},
        {"CatalogItem.data_bag", "data_bag() -> str\n\nThe plugin's text."},
        {"CatalogItem.set_data_bag", "set_data_bag(data_bag)\n\nChanges the plugin's text."},
        {"CatalogItem.raw_args",
         "raw_args() -> str\n\nThe arguments the user typed after the item; empty for none."},
        {"CatalogItem.displayed_args",
         "displayed_args() -> str\n\nThe arguments as shown: the displayed ones when set, else "
         "the raw ones."},
        {"CatalogItem.set_args",
         "set_args(raw_args, displayed_args='')\n\nSets the arguments (trimmed) and the text "
         "shown for them (empty: the raw ones); changes the id. Ignored when the item forbids "
         "arguments."},
        {"CatalogItem.clone",
         "clone() -> CatalogItem\n\nA new item with the same fields and arguments."},
    };
    return docs;
}

const char* apiDocstring(const std::string& name) {
    for (const ApiDocstring& doc : apiDocstrings()) {
        if (name == doc.name)
            return doc.text;
    }
    return nullptr;
}

// The functions got theirs when they were defined.
void addDocstrings() {
    bp::object module = bp::scope();
    module.attr("__doc__") =
        "The program's functions and classes for plugins; plugins import them through the "
        "module quorvalent. Every function and constructor takes positional arguments only.";
    for (const ApiDocstring& doc : apiDocstrings()) {
        PyObject* cls = PyObject_GetAttrString(module.ptr(), doc.name);
        if (!cls) {
            PyErr_Clear();
            continue;
        }
        if (PyType_Check(cls))
            bp::object(bp::handle<>(cls)).attr("__doc__") = doc.text;
        else
            Py_DECREF(cls);
    }
}

} // namespace PythonBuiltins
