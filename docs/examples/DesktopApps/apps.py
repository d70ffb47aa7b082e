"""The desktop's applications in the catalog.

One item per desktop entry (*.desktop) in the applications folders of the
XDG data folders: $XDG_DATA_HOME/applications (~/.local/share/applications),
then those of $XDG_DATA_DIRS (/usr/local/share:/usr/share). An entry of the
user's folder hides the system's entry of the same id, as on the desktop.

Executing an item starts the application. To give it arguments (files,
addresses, options), press Tab after its name and type them: the list then
offers the application with what you typed, and Enter starts it with them,
as the files of its Exec line. Its actions (Ctrl+Enter) start it, copy the
entry's path, show the entry in its folder or open it in the editor.
"""

import configparser
import os

import quorvalent
import quorvalent_util

# Values of the plugin API.
CATEGORY_REFERENCE = 60
ARGS_ACCEPTED = 1
HIT_KEEPALL = 0
MATCH_ALL = 0
SORT_KEEP_ORDER = 0
EVENT_START_MENU_CHANGED = 8192

# An application is neither a document nor a folder. As an item of category
# file it would get every file action of the program, "Open as
# Administrator", "Open With...", "Properties" and "Print document" among
# them, none of which means anything for a desktop entry. As a reference to
# its desktop entry it offers these actions only, each carried out below.
ACTIONS = (
    ("open", "Open", "Start the application"),
    ("copy_path", "Copy Path", "Copy the path of the desktop entry to the clipboard"),
    ("explore", "Show in Folder", "Show the desktop entry in its folder"),
    ("edit", "Edit Entry", "Open the desktop entry in the editor"),
)

# Field codes of Exec lines that stand for files, URLs and the like.
FIELD_CODES = ("%f", "%F", "%u", "%U", "%d", "%D", "%n", "%N", "%i", "%c", "%k", "%v", "%m")
ICON_SIZES = ("48x48", "64x64", "32x32", "128x128", "256x256", "24x24", "16x16")


def data_folders():
    home = os.environ.get("XDG_DATA_HOME") or os.path.expanduser("~/.local/share")
    system = os.environ.get("XDG_DATA_DIRS") or "/usr/local/share:/usr/share"
    return [home] + [folder for folder in system.split(":") if folder]


def command_of(exec_line):
    """The Exec line without its field codes, as the status line shows it."""
    words = [word for word in exec_line.split() if word not in FIELD_CODES]
    return " ".join(words).replace("%%", "%")


def desktop_entries():
    """(id, path) of each desktop entry, the first of each id only."""
    seen = set()
    for data in data_folders():
        applications = os.path.join(data, "applications")
        for folder, _, files in os.walk(applications):
            for name in sorted(files):
                if not name.endswith(".desktop"):
                    continue
                path = os.path.join(folder, name)
                entry_id = os.path.relpath(path, applications).replace(os.sep, "-")
                if entry_id not in seen:
                    seen.add(entry_id)
                    yield entry_id, path


def read_entry(path):
    """The [Desktop Entry] group as a dict, or None when it cannot be read."""
    parser = configparser.RawConfigParser(interpolation=None, strict=False, delimiters=("=",))
    parser.optionxform = str  # keys are case-sensitive
    try:
        with open(path, encoding="utf-8") as f:
            parser.read_file(f)
        return dict(parser["Desktop Entry"])
    except (OSError, UnicodeDecodeError, configparser.Error, KeyError):
        return None


def icon_file(icon):
    """The image file of an Icon value: a path, or a name in the hicolor
    theme or the pixmaps folders; None when there is none."""
    if not icon:
        return None
    if os.path.isabs(icon):
        return icon if os.path.isfile(icon) else None
    for data in data_folders():
        hicolor = os.path.join(data, "icons", "hicolor")
        candidates = [os.path.join(hicolor, size, "apps", icon + ".png") for size in ICON_SIZES]
        candidates.append(os.path.join(hicolor, "scalable", "apps", icon + ".svg"))
        candidates.append(os.path.join(data, "pixmaps", icon + ".png"))
        for candidate in candidates:
            if os.path.isfile(candidate):
                return candidate
    return None


class DesktopApps(quorvalent.Plugin):
    def on_start(self):
        self.set_actions(CATEGORY_REFERENCE, [
            quorvalent.CatalogAction(self.id(), name, label, desc, "")
            for name, label, desc in ACTIONS])

    def on_catalog(self):
        self.index()

    def on_events(self, flags):
        # The applications folders changed.
        if flags & EVENT_START_MENU_CHANGED:
            self.index()

    def index(self):
        items = []
        for entry_id, path in desktop_entries():
            if quorvalent.should_terminate():
                return
            entry = read_entry(path)
            if not entry or entry.get("Type") != "Application" or not entry.get("Exec"):
                continue
            if entry.get("NoDisplay") == "true" or entry.get("Hidden") == "true":
                continue
            icon = icon_file(entry.get("Icon", ""))
            handle = quorvalent.load_icon(["@" + icon], False, None) if icon else 0
            description = entry.get("Comment") or entry.get("GenericName") or command_of(entry["Exec"])
            items.append(quorvalent.CatalogItem(
                self, CATEGORY_REFERENCE, entry.get("Name", entry_id), description, path,
                ARGS_ACCEPTED, False, HIT_KEEPALL, handle or 0, entry_id))
        self.set_catalog(items)

    def on_suggest(self, text, chain):
        # After Tab on an application, the text typed is its arguments: the
        # list offers the application with them, for Enter to start it so.
        if not chain or not text.strip():
            return
        item = chain[-1].clone()
        item.set_args(text)
        self.set_suggestions([item], MATCH_ALL, SORT_KEEP_ORDER)

    def on_execute(self, item, action):
        path = item.target()
        name = action.name() if action else "open"
        if name == "copy_path":
            quorvalent.set_clipboard(path)
        elif name == "explore":
            quorvalent_util.explore_file(path)
        elif name == "edit":
            quorvalent_util.edit_file(path)
        else:
            # The program runs the entry: its Exec line gets the arguments as
            # its files, in a terminal when the entry asks for one.
            error = quorvalent.shell_execute(path, item.raw_args(), "", "", None, -1)
            if error:
                quorvalent.log("", 0, 3, "Cannot start {} ({}): error {}".format(
                    item.label(), path, error))
