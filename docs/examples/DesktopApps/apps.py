"""The desktop's applications in the catalog.

One item per desktop entry (*.desktop) in the applications folders of the
XDG data folders: $XDG_DATA_HOME/applications (~/.local/share/applications),
then those of $XDG_DATA_DIRS (/usr/local/share:/usr/share). An entry of the
user's folder hides the system's entry of the same id, as on the desktop.
Executing an item starts the application with the typed arguments.
"""

import configparser
import os

import quorvalent

# Values of the plugin API.
CATEGORY_FILE = 20
ARGS_ACCEPTED = 1
HIT_KEEPALL = 0
EVENT_START_MENU_CHANGED = 8192

# Field codes of Exec lines that stand for files, URLs and the like.
FIELD_CODES = ("%f", "%F", "%u", "%U", "%d", "%D", "%n", "%N", "%i", "%c", "%k", "%v", "%m")
ICON_SIZES = ("48x48", "64x64", "32x32", "128x128", "256x256", "24x24", "16x16")


def data_folders():
    home = os.environ.get("XDG_DATA_HOME") or os.path.expanduser("~/.local/share")
    system = os.environ.get("XDG_DATA_DIRS") or "/usr/local/share:/usr/share"
    return [home] + [folder for folder in system.split(":") if folder]


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
    parser = configparser.RawConfigParser(interpolation=None, strict=False)
    parser.optionxform = str  # keys are case-sensitive
    try:
        with open(path, encoding="utf-8") as f:
            parser.read_file(f)
        return dict(parser["Desktop Entry"])
    except (OSError, UnicodeDecodeError, configparser.Error, KeyError):
        return None


def command_of(exec_line):
    """The Exec line without its field codes."""
    words = [word for word in exec_line.split() if word not in FIELD_CODES]
    return " ".join(words).replace("%%", "%")


def icon_file(icon):
    """The PNG file of an Icon value: a path, or a name in the hicolor theme
    or the pixmaps folders; None when there is none."""
    if not icon:
        return None
    if os.path.isabs(icon):
        return icon if os.path.isfile(icon) else None
    for data in data_folders():
        candidates = [os.path.join(data, "icons", "hicolor", size, "apps", icon + ".png")
                      for size in ICON_SIZES]
        candidates.append(os.path.join(data, "pixmaps", icon + ".png"))
        for candidate in candidates:
            if os.path.isfile(candidate):
                return candidate
    return None


class DesktopApps(quorvalent.Plugin):
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
            items.append(quorvalent.CatalogItem(
                self, CATEGORY_FILE, entry.get("Name", entry_id), command_of(entry["Exec"]),
                path, ARGS_ACCEPTED, False, HIT_KEEPALL, handle or 0, entry_id))
        self.set_catalog(items)

    def on_execute(self, item, action):
        # A desktop entry runs its own program; the typed arguments follow.
        error = quorvalent.shell_execute(item.target(), item.raw_args(), "", "", None, -1)
        if error:
            print("Cannot start {} (error {})".format(item.label(), error))
