"""Quorvalent's plugin API.

A plugin is a class derived from Plugin, defined in a script at the top of a
package; its methods named "on_" and a message name (on_start, on_catalog,
on_suggest, on_execute, on_activated, on_deactivated, on_events) receive the
program's messages. Items and actions are CatalogItem and CatalogAction
objects; every constructor and function takes positional arguments only.
"""

from quorvalent_api import (
    Plugin,
    CatalogAction,
    CatalogItem,
    name,
    label,
    version_tuple,
    version_string,
    arch,
    computer_name,
    user_name,
    packages_list,
    exe_path,
    live_packages_dir,
    installed_packages_dir,
    user_config_dir,
    packages_cache_dir,
    should_terminate,
    load_icon,
    free_icon,
    log,
    hash_string,
    fuzzy_score,
    get_clipboard,
    set_clipboard,
    cmdline_split,
    cmdline_quote,
    file_attributes,
    read_link,
    scan_directory,
    shell_execute,
    shell_known_folder_path,
    shell_resolve_exe_path,
    shell_string_resource,
    shell_url_scheme_to_command,
    app_settings,
    settings_load,
    settings_sections,
    settings_keys,
    settings_has_section,
    settings_has,
    settings_get,
)
