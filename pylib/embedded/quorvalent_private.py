"""Quorvalent's private start-up module.

The program carries this module inside itself and runs it under the name
quorvalent_private when the interpreter starts. It routes the standard
streams into the program's log, traps the exit functions, ties the threads
that plugins start to their plugin, bounds the wait for those threads when
the interpreter stops, and imports packages of plugins, archived ones
through its own importer.

It imports only what it needs at once: the modules plugins may rely on are
imported before the first plugin script runs (load_plugin_modules), and
the heavier modules it uses itself where it uses them.
"""

import builtins
import gc
import importlib
import importlib.machinery
import os
import sys
import threading
import time
import types
import _thread

import quorvalent_api

# The program is no Python interpreter: code that starts Python in a new
# process (multiprocessing's spawn and forkserver methods) gets the one the
# program is built with.
sys.executable = os.path.join(sys.base_exec_prefix, "bin",
                              "python{}.{}".format(*sys.version_info[:2]))

# A folder whose sources stand in for those of the package archives; the
# program sets it at start-up when there is one.
override_path = None


# The program's process: a process forked from plugin code has another id.
_program_pid = os.getpid()


def in_forked_child():
    """Whether this is a process forked from plugin code: an ordinary Python
    process that shares nothing more with the program than fork gave it."""
    return os.getpid() != _program_pid


class LogSink:
    """A text stream whose lines become records of the program's log; in a
    process forked from plugin code, the process's own standard stream."""

    encoding = "utf-8"
    errors = "strict"

    def __init__(self, id):
        self._id = id

    def write(self, s):
        """Buffers the text; each complete line becomes a log record."""
        if in_forked_child():
            os.write(self._id, s.encode(self.encoding, "backslashreplace"))
        else:
            quorvalent_api.std_print(self._id, s)
        return len(s)

    def flush(self):
        """Logs the complete lines still buffered."""
        if not in_forked_child():
            quorvalent_api.std_flush(self._id)

    def writable(self):
        """Always True."""
        return True

    def isatty(self):
        """Always False: the log is no terminal."""
        return False

    def __del__(self):
        try:
            self.flush()
        except Exception:
            pass


def _print_exc():
    import traceback
    traceback.print_exc()


def _print_exception(error):
    import traceback
    traceback.print_exception(error)


# Levels of quorvalent_api.log.
_ERROR = 3


# The exception as Python prints it, then the frames of the code that raised
# it without the import machinery's and ours: the text the program's log
# gives every Python error. The program sets it at start-up.
_error_text = None


def _log_error(message, error=None):
    """One error record in the program's log, with the exception's text."""
    if error is not None:
        message += ": " + _error_text(error)
    quorvalent_api.log("", 0, _ERROR, message)


sys.stdout = LogSink(1)
sys.stderr = LogSink(2)

# help() as the interactive interpreter has it, for the console's statements:
# the program imports no site module, which would define it.
import _sitebuiltins
builtins.help = _sitebuiltins._Helper()


def _exit_trap(real):
    """The exit function in the program's process raises; in a process forked
    from plugin code it is the function itself."""
    def _no_exit(*args, **kwargs):
        if in_forked_child():
            return real(*args, **kwargs)
        raise NotImplementedError("exit() call trapped by Quorvalent")
    return _no_exit


def _trap_exits():
    # The functions are reachable under more names than these (posix._exit
    # is os._exit): every module loaded now that holds one of them gets the
    # trap in its place, and later imports find the trap. Without the site
    # module, exit and quit are sys.exit.
    for name in ("exit", "quit"):
        if getattr(builtins, name, None) is None:
            setattr(builtins, name, sys.exit)
    real = [builtins.exit, builtins.quit, os._exit, sys.exit, _thread.exit, _thread.exit_thread]
    traps = {id(function): _exit_trap(function) for function in real}
    for module in list(sys.modules.values()) + [builtins]:
        space = getattr(module, "__dict__", None)
        if not isinstance(space, dict):
            continue
        for name, value in list(space.items()):
            # The functions live on (in `real`): an equal id is the function.
            if id(value) in traps:
                space[name] = traps[id(value)]


def _trap_fresh_builtins(imp):
    """A second copy of the built-in posix module (importlib.util.
    module_from_spec) would hold the real _exit, and a second copy of _imp
    the real function that makes one: both get the trap."""
    create = imp.create_builtin

    def create_builtin(module_spec):
        module = create(module_spec)
        if module_spec.name == "posix" and callable(getattr(module, "_exit", None)):
            module._exit = _exit_trap(module._exit)
        elif module_spec.name == "_imp":
            _trap_fresh_builtins(module)
        return module
    imp.create_builtin = create_builtin


_real_exit = os._exit
_trap_exits()
_trap_fresh_builtins(sys.modules["_imp"])

# Guard values of the program's thread registration functions.
_REGISTER_GUARD = 0x5C2E91A7
_UNREGISTER_GUARD = 0x3B7D04F6

_thread_create_impl = _thread.start_new_thread

# Every thread a plugin started and has not ended yet, by ident, with the
# event its end sets; whatever its daemon flag.
_plugin_threads = {}
_plugin_threads_lock = _thread.allocate_lock()
# Whom each of those threads serves: its plugin's full name, or its package.
_thread_owners = {}


def leave_forked_child(error=None):
    """Ends a process forked from plugin code whose thread leaves Python for
    the program's code, which belongs to the program: as Python ends a
    program, with the code of a SystemExit, 1 after another exception (which
    is printed), else 0."""
    status = 0
    if isinstance(error, SystemExit):
        if isinstance(error.code, int):
            status = error.code
        elif error.code is not None:
            print(error.code, file=sys.stderr)
            status = 1
    elif error is not None:
        _print_exception(error)
        status = 1
    for stream in (sys.stdout, sys.stderr):
        try:
            stream.flush()
        except Exception:
            pass
    _real_exit(status)


def _thread_launchpad(parent_id, event, func, args, kwargs):
    # The creator waits for the event, and threading.Thread.start for the
    # function to begin: both happen whatever registering does.
    ended = threading.Event()
    with _plugin_threads_lock:
        _plugin_threads[_thread.get_ident()] = ended
    try:
        try:
            owner = quorvalent_api.register_python_thread(_REGISTER_GUARD, parent_id)
            if owner:
                _thread_owners[_thread.get_ident()] = owner
        except Exception:
            _print_exc()
        finally:
            event.set()
        func(*args, **kwargs)
    finally:
        if in_forked_child():
            leave_forked_child()
        try:
            quorvalent_api.unregister_python_thread(_UNREGISTER_GUARD)
        finally:
            with _plugin_threads_lock:
                _plugin_threads.pop(_thread.get_ident(), None)
            _thread_owners.pop(_thread.get_ident(), None)
            ended.set()


def _thread_create(function, args, kwargs={}):
    """Starts a thread that serves the plugin of the creating thread."""
    bag = {
        "parent_id": threading.get_native_id(),
        "event": threading.Event(),
        "func": function,
        "args": args,
        "kwargs": kwargs,
    }
    ident = _thread_create_impl(_thread_launchpad, (), bag)
    if isinstance(ident, int) and ident:
        bag["event"].wait()
    return ident


_thread.start_new_thread = _thread_create
_thread.start_new = _thread_create
threading._start_new_thread = _thread_create


def _after_fork_in_child():
    # The program's own threads are no threading.Thread: forked from one,
    # the child's main thread would be a dummy that threading's shutdown
    # (multiprocessing runs it in its children) cannot end.
    if isinstance(threading.current_thread(), threading._DummyThread):
        threading._main_thread = threading._MainThread()
    # The child's threads serve no plugin of the program, whose registry
    # and locks stay behind in the parent.
    _thread.start_new_thread = _thread.start_new = _thread_create_impl
    threading._start_new_thread = _thread_create_impl
    _plugin_threads.clear()
    _thread_owners.clear()


os.register_at_fork(after_in_child=_after_fork_in_child)


def _thread_excepthook(args):
    """An exception that ends a plugin's thread: one error record naming the
    thread, whom it serves, and where the exception came from."""
    if args.exc_type is SystemExit:
        return
    if in_forked_child():
        threading.__excepthook__(args)
        return
    thread = args.thread
    ident = thread.ident if thread is not None else _thread.get_ident()
    name = thread.name if thread is not None else str(ident)
    owner = _thread_owners.get(ident)
    _log_error("Uncaught exception in thread {}{}".format(
        name, " of " + owner if owner else ""), args.exc_value)


threading.excepthook = _thread_excepthook

# Exit handlers run when the interpreter stops, as the program ends. Those
# that plugins and their modules register run in order, but together within
# a bound: one that waits without end (multiprocessing's waits for every
# child process) must not hold the program's end.
import atexit

_exit_handlers = []
_exit_handlers_lock = _thread.allocate_lock()
_running_exit_handler = None
# The bound, in seconds; the program sets it before the interpreter stops.
exit_handlers_seconds = 2.0


def _register_exit_handler(function, *args, **kwargs):
    with _exit_handlers_lock:
        _exit_handlers.append((function, args, kwargs))
    return function


def _unregister_exit_handler(function):
    with _exit_handlers_lock:
        _exit_handlers[:] = [entry for entry in _exit_handlers if entry[0] != function]


def _run_bounded(function, seconds):
    """Runs the function on a thread of its own and waits for it at most the
    seconds; True when it ended. One that did not is left running."""
    done = _thread.allocate_lock()
    done.acquire()

    def run():
        try:
            function()
        finally:
            done.release()
    _thread_create_impl(run, ())
    return done.acquire(timeout=max(0.0, seconds))


def _function_name(function):
    return "{}.{}".format(getattr(function, "__module__", "?"),
                          getattr(function, "__qualname__", function))


def _run_exit_handlers_in_order():
    global _running_exit_handler
    while True:
        with _exit_handlers_lock:
            if not _exit_handlers:
                return
            function, args, kwargs = _exit_handlers.pop()
        _running_exit_handler = function
        try:
            function(*args, **kwargs)
        except SystemExit:
            pass
        except BaseException as error:
            _log_error("Error in exit handler " + _function_name(function), error)


def _run_exit_handlers():
    if in_forked_child() or not _exit_handlers:
        return
    if _run_bounded(_run_exit_handlers_in_order, exit_handlers_seconds):
        return
    with _exit_handlers_lock:
        skipped = len(_exit_handlers)
    quorvalent_api.log("", 0, 2, "Exit handler {} did not end within {:.0f} ms; it is left "
                       "running and {} more are skipped".format(
                           _function_name(_running_exit_handler), exit_handlers_seconds * 1000,
                           skipped))


atexit.register(_run_exit_handlers)
atexit.register = _register_exit_handler
atexit.unregister = _unregister_exit_handler


def _raise_in_thread(ident, exception):
    import ctypes
    ctypes.pythonapi.PyThreadState_SetAsyncExc(ctypes.c_ulong(ident), ctypes.py_object(exception))


def _wait_all(events, seconds):
    deadline = time.monotonic() + seconds
    for event in events.values():
        event.wait(max(0.0, deadline - time.monotonic()))
    return {ident: event for ident, event in events.items() if not event.is_set()}


def _thread_name(ident):
    thread = threading._active.get(ident)
    name = thread.name if thread is not None else str(ident)
    owner = _thread_owners.get(ident)
    return "{} of {}".format(name, owner) if owner else name


def stop_plugin_threads(join_seconds, exit_seconds):
    """Ends the threads plugins started before the interpreter stops: each
    gets join_seconds to end by itself, then a SystemExit and exit_seconds
    more. Returns how many are left running (each is logged)."""
    with _plugin_threads_lock:
        running = {ident: event for ident, event in _plugin_threads.items()
                   if ident != _thread.get_ident()}
    threads = [t for t in threading.enumerate() if t.ident in running]
    alive = _wait_all(running, join_seconds)
    for ident in alive:
        _raise_in_thread(ident, SystemExit)
    alive = _wait_all(alive, exit_seconds)
    for ident in alive:
        quorvalent_api.log("", 0, 2, "Thread {} did not end and is left running".format(
            _thread_name(ident)))
    # A thread that ended its function still has to let go of the
    # interpreter; joining waits for that.
    for thread in threads:
        if thread.ident not in alive:
            thread.join(exit_seconds)
    return len(alive)


def flush_open_files(seconds):
    """Flushes the Python files still open, for an interpreter that is not
    stopped (a thread left running keeps it): what plugins wrote reaches the
    disk. A flush that waits (another thread is in the middle of a write to
    the file) is left after the seconds."""
    import io
    files = [obj for obj in gc.get_objects() if isinstance(obj, io.IOBase)]

    def flush_all():
        for file in files:
            try:
                if not file.closed and file.writable():
                    file.flush()
            except Exception:
                pass
    _run_bounded(flush_all, seconds)


def _type_name(obj):
    # "<class 'module.Name'>" gives "module.Name".
    name = str(type(obj)).strip("<>")
    name = name.split(" ", 1)[-1]
    return name.strip("'\"")


def types_stats(do_print=True, sort_by_count=True):
    """Counts the objects the garbage collector tracks, by type name."""
    if not gc.isenabled():
        print("WARNING: GC not enabled!", file=sys.stderr)
        return None
    counts = {}
    for obj in gc.get_objects():
        name = _type_name(obj)
        counts[name] = counts.get(name, 0) + 1
    if sort_by_count:
        stats = sorted(counts.items(), key=lambda item: (-item[1], item[0]))
    else:
        stats = sorted(counts.items())
    if do_print:
        for name, count in stats:
            sys.stdout.write("{:65} {}\n".format(name, count))
    return stats


def str_equal(a, b, case_sensitive):
    """Whether the two texts are equal, with or without case."""
    return a == b if case_sensitive else a.lower() == b.lower()


def str_less(a, b, case_sensitive):
    """Whether the first text sorts before the second, with or without case."""
    return a < b if case_sensitive else a.lower() < b.lower()


# A reload looks at an archive again when it was scanned longer ago.
_RESCAN_SECONDS = 5.0

# The largest script taken from an archive. Sources of plugins are far
# smaller; without a bound a small archive of highly compressed entries (a zip
# bomb) would make us inflate gigabytes. zipfile stops at the declared size,
# so checking that before reading bounds what is read.
_MAX_SCRIPT_SIZE = 4 * 1024 * 1024


class ArchLoader:
    """Serves the modules of one package archive, whose sources it holds in
    memory. Sources in the override folder stand in for archived ones."""

    def __init__(self, archive):
        self.archive = archive
        self.name = os.path.splitext(os.path.basename(archive))[0]
        self._scan_archive()

    def _scan_archive(self):
        packages = {""}
        contents = {"": ""}
        filenames = {"": ""}
        oversized = set()
        refreshed = time.monotonic()
        import zipfile
        with zipfile.ZipFile(self.archive) as archive:
            for info in archive.infolist():
                entry = info.filename
                stem, extension = os.path.splitext(entry)
                if extension.lower() != ".py":
                    continue
                parts = stem.split("/")
                is_package = parts[-1] == "__init__"
                if is_package:
                    parts.pop()
                dotted = ".".join(parts)
                if info.file_size > _MAX_SCRIPT_SIZE:
                    print("Skipped", entry, "from", self.archive, "({} bytes, above the limit of {})"
                          .format(info.file_size, _MAX_SCRIPT_SIZE), file=sys.stderr)
                    oversized.add(dotted)
                    continue
                try:
                    contents[dotted] = archive.read(info).decode("utf-8")
                except UnicodeDecodeError:
                    print("Unable to decode", entry, "from", self.archive, "(UTF-8 expected)",
                          file=sys.stderr)
                    continue
                filenames[dotted] = entry
                if is_package:
                    packages.add(dotted)
                for end in range(1, len(parts)):
                    parent = ".".join(parts[:end])
                    packages.add(parent)
                    contents.setdefault(parent, "")
                    filenames.setdefault(parent, "")
        self.packages, self.contents, self.filenames = packages, contents, filenames
        self.oversized = oversized
        self.refreshed = refreshed

    @staticmethod
    def _inner_name(fullname):
        # The package name is the archive's, the rest its inner path.
        return fullname.partition(".")[2]

    @staticmethod
    def _override_base(fullname):
        return os.path.join(override_path, *fullname.split("."))

    def is_oversized(self, fullname):
        """Whether the module's script was left out for its declared size."""
        return self._inner_name(fullname) in self.oversized

    def has(self, fullname):
        """Whether the archive or the override folder holds the module."""
        if self._inner_name(fullname) in self.contents:
            return True
        if not override_path:
            return False
        base = self._override_base(fullname)
        return os.path.isfile(base + ".py") or os.path.isdir(base)

    @staticmethod
    def _read_file(path):
        try:
            if os.path.getsize(path) > _MAX_SCRIPT_SIZE:
                print(path, "is above the limit of", _MAX_SCRIPT_SIZE, "bytes", file=sys.stderr)
                return None
            with open(path, encoding="utf-8") as f:
                return f.read()
        except Exception:
            _print_exc()
            print(path, "could not be read", file=sys.stderr)
            return None

    def _read_source(self, fullname):
        """(source, file, is package), or None when there is no such module."""
        base = self._override_base(fullname) if override_path else None
        if base:
            for path, is_package in ((base + ".py", False),
                                     (os.path.join(base, "__init__.py"), True)):
                if os.path.isfile(path):
                    source = self._read_file(path)
                    if source is not None:
                        return source, path, is_package
        inner = self._inner_name(fullname)
        if inner in self.contents:
            entry = self.filenames[inner]
            path = os.path.join(self.archive, entry) if entry else self.archive
            return self.contents[inner], path, inner in self.packages
        if base and os.path.isdir(base):
            return "", base, True
        return None

    def spec_for(self, fullname, target):
        """The ModuleSpec of a module of this package, None when there is none; a
        reload (target given) scans the archive again when it is old."""
        if target is not None and time.monotonic() - self.refreshed > _RESCAN_SECONDS:
            import zipfile
            try:
                self._scan_archive()
            except (OSError, zipfile.BadZipFile):
                _print_exc()
        found = self._read_source(fullname)
        if found is None:
            return None
        source, path, is_package = found
        module_spec = importlib.machinery.ModuleSpec(
            fullname, self, origin=path, loader_state=source, is_package=is_package)
        if is_package:
            module_spec.submodule_search_locations = [self.archive]
        module_spec.has_location = True
        return module_spec

    def create_module(self, module_spec):
        """None: the import system makes the module."""
        return None

    def exec_module(self, module):
        """Runs the module's source, held in its ModuleSpec, in the module."""
        module_spec = module.__spec__
        code = compile(module_spec.loader_state, module_spec.origin, "exec", dont_inherit=True)
        exec(code, module.__dict__)


class MultiArchImporter:
    """Finds the modules of archived packages: a package's own name through
    its archive loaders, its modules in the archive of its __path__."""

    def __init__(self):
        self.loaders = []

    def set_package_loaders(self, package_name, case_sensitive, archives):
        """Gives the package its archives, the one that shadows the others
        first; an empty list withdraws the package."""
        # Before any archive can be found: a package named like a standard
        # module must not stand in for it.
        load_plugin_modules()
        import zipfile
        added = []
        for path in archives:
            try:
                added.append(ArchLoader(path))
            except (FileNotFoundError, zipfile.BadZipFile) as e:
                print("Error loading " + path + ": " + str(e), file=sys.stderr)
        kept = [loader for loader in self.loaders
                if not str_equal(loader.name, package_name, case_sensitive)]
        self.loaders = kept + added

    def find_spec(self, fullname, path=None, target=None):
        """The ModuleSpec of a package's own name or of a module in one of its
        archives; None for any other module."""
        loaders = self.loaders
        if path is None:
            for loader in loaders:
                if loader.name == fullname:
                    return loader.spec_for(fullname, target)
            return None
        path = list(path)
        if len(path) != 1:
            return None
        for loader in loaders:
            if loader.archive == path[0] and loader.has(fullname):
                return loader.spec_for(fullname, target)
            # Not None: the path finder's zip importer would inflate it.
            if loader.archive == path[0] and loader.is_oversized(fullname):
                raise ModuleNotFoundError("{} is above the size limit of {} bytes".format(
                    fullname, _MAX_SCRIPT_SIZE), name=fullname)
        return None

    def loader_of(self, package_name):
        """The loader of the package's first archive, or None."""
        for loader in self.loaders:
            if loader.name == package_name:
                return loader
        return None

    def invalidate_caches(self):
        """Nothing to do: a reload scans an archive again when it is old."""
        pass


packages_importer = MultiArchImporter()
sys.meta_path.insert(0, packages_importer)

# A module holding more plugin classes is refused.
_MAX_PLUGINS = 100
_MANIFEST = "__quorvalent_plugins__"


def _is_plugin_class(obj, base, module_name):
    # A class the script imported (a base class of the package's lib/, say)
    # belongs to the module that defines it: it would be the plugin of every
    # script that imports it.
    return (isinstance(obj, type) and obj is not base and bool(obj.__bases__)
            and issubclass(obj, base) and obj.__module__ == module_name)


def _manifest_classes(module, module_name, package_name, base):
    manifest = getattr(module, _MANIFEST)
    candidates = manifest(package_name=package_name) if callable(manifest) else manifest
    classes = []
    for candidate in candidates:
        if not _is_plugin_class(candidate, base, module_name):
            _log_error("{}.{} contains invalid plugin class(es). Skipping module.".format(
                module_name, _MANIFEST))
            return []
        if len(classes) >= _MAX_PLUGINS:
            _log_error("{}.{} contains too much plugins. Skipping module.".format(
                module_name, _MANIFEST))
            return []
        classes.append(candidate)
    return classes


def _listed_classes(module, module_name, base):
    classes = []
    for name in dir(module):
        if not name or name.startswith("_"):
            continue
        try:
            if not _is_plugin_class(module.__dict__.get(name), base, module_name):
                continue
        except Exception as error:
            _log_error("Error while looking at {}.{}".format(module_name, name), error)
            continue
        if len(classes) >= _MAX_PLUGINS:
            _log_error("Maximum number of plugins exceeded in module " + module_name)
            break
        classes.append(module.__dict__[name])
    return classes


def _clear_namespace(module):
    """Forgets what a script defined, so that a class removed from it is no
    plugin after a reload."""
    names = vars(module)
    for name in [n for n in names if not (n.startswith("__") and n.endswith("__"))]:
        del names[name]


def _refresh_package(package_name):
    """Imports a package's own module again when it came from an archive
    that no longer serves it, so that its modules are found where the
    package is now."""
    module = sys.modules.get(package_name)
    module_spec = getattr(module, "__spec__", None)
    if module_spec is None:
        return
    current = packages_importer.loader_of(package_name)
    if module_spec.loader is not current and (isinstance(module_spec.loader, ArchLoader) or current):
        importlib.reload(module)


def _find_spec(name):
    # The import system's own search, without importing the module or its
    # parent packages.
    parent = name.rpartition(".")[0]
    path = None
    if parent:
        module = sys.modules.get(parent)
        parent_spec = module.__spec__ if module is not None else _find_spec(parent)
        path = parent_spec.submodule_search_locations if parent_spec else None
        if not path:
            return None
    for finder in sys.meta_path:
        find = getattr(finder, "find_spec", None)
        found = find(name, path) if find else None
        if found is not None:
            return found
    return None


def has_module(name):
    """Whether the module (a dotted name) is imported or can be, found
    without importing it or its parent packages."""
    return name in sys.modules or _find_spec(name) is not None


def require_modules(names):
    """Raises ModuleNotFoundError for the first of the modules that cannot
    be found; imports none of them."""
    for name in names:
        if not has_module(name):
            raise ModuleNotFoundError("No module named {!r}".format(name), name=name)


# The program's function that imports the modules plugins may rely on; set
# at start-up and called once, by load_plugin_modules.
_import_plugin_modules = None
_plugin_modules_lock = _thread.allocate_lock()


def load_plugin_modules():
    """Imports the modules plugins may rely on, the first time it is called;
    a thread that calls it meanwhile waits until they are imported."""
    global _import_plugin_modules
    with _plugin_modules_lock:
        load, _import_plugin_modules = _import_plugin_modules, None
        if load is not None:
            load()


def reload_module(module_name, package_name):
    """Imports one script of a package, again when it was imported before,
    and returns an instance of each of its plugin classes. An exception of
    the import reaches the caller, which reports it for the script; one of a
    plugin class is logged, and the other classes still load."""
    import quorvalent
    load_plugin_modules()
    base = quorvalent.Plugin
    importlib.invalidate_caches()
    _refresh_package(module_name.partition(".")[0])
    if module_name in sys.modules:
        module = sys.modules[module_name]
        _clear_namespace(module)
        module = importlib.reload(module)
    else:
        module = importlib.import_module(module_name)
    if hasattr(module, _MANIFEST):
        try:
            classes = _manifest_classes(module, module_name, package_name, base)
        except Exception as error:
            _log_error("Error while reading {}.{}".format(module_name, _MANIFEST), error)
            return []
    else:
        classes = _listed_classes(module, module_name, base)
    plugins = []
    for cls in classes:
        try:
            plugins.append(cls())
        except Exception as error:
            _log_error("Error while creating plugin {}.{}".format(package_name, cls.__name__),
                       error)
    return plugins
