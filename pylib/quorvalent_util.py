"""Helpers the program calls to show and edit files and open web addresses
with the programs the [external] settings name, or the desktop's defaults."""

import os

import quorvalent_api as api


def _setting(key):
    return api.settings_get(api.app_settings(), "external", key) or ""


def _run(command_line, argument):
    """Runs a configured command line with the argument in place of its "%1"
    placeholders, or after it; returns the command line run."""
    args = api.cmdline_split(command_line)
    if any("%1" in arg for arg in args):
        args = [arg.replace("%1", argument) for arg in args]
    else:
        args.append(argument)
    line = api.cmdline_quote(args, False)
    error = api.shell_execute(args[0], api.cmdline_quote(args[1:], False), "", "", None, -1)
    if error:
        raise OSError(error, "Failed to run " + line)
    return line


def explore_file(file):
    """Shows a file in the configured file explorer, else opens its folder
    (a folder itself) with the desktop's file manager."""
    explorer = _setting("file_explorer")
    if explorer:
        return _run(explorer, file)
    folder = file if os.path.isdir(file) else os.path.dirname(file) or file
    error = api.shell_execute(folder, "", "", "", None, -1)
    if error:
        raise OSError(error, "Failed to open " + folder)
    return folder


def edit_file(file):
    """Opens a file in the configured editor, else in the desktop's ($VISUAL,
    $EDITOR, or the program the desktop opens it with)."""
    editor = _setting("editor")
    if editor:
        return _run(editor, file)
    error = api.shell_execute(file, "", "", "edit", None, -1)
    if error:
        raise OSError(error, "Failed to edit " + file)
    return file


def web_browser_command(url, execute=False):
    """The command line that opens the address in the configured web
    browser (the desktop's handler of the address when none is set); with
    execute, runs it."""
    browser = _setting("web_browser")
    if not browser:
        browser = api.shell_url_scheme_to_command(url)[0] or "xdg-open"
    if not execute:
        args = api.cmdline_split(browser)
        if any("%1" in arg for arg in args):
            return api.cmdline_quote([arg.replace("%1", url) for arg in args], False)
        return api.cmdline_quote(args + [url], False)
    return _run(browser, url)
