"""Writes the optimised bytecode (opt-1) of the modules the program starts with.

Usage: python3 -I -S -O -X pycache_prefix=<cache> compile_bytecode.py <stamp>
           <stdlib> <dist-packages> <program python folder> [<dist-packages entry>...]
The interpreter runs with optimisation level 1 and writes no bytecode next to
the sources, so without this cache every start compiles every module it
imports. Under pycache_prefix the files mirror the sources' absolute paths;
a file whose source changed since is ignored by the interpreter, never used.
"""
import compileall
import os
import re
import sys

stamp, stdlib, dist_packages, program = sys.argv[1:5]
entries = sys.argv[5:]

if sys.flags.optimize != 1 or not sys.pycache_prefix:
    sys.exit("compile_bytecode.py: run it with -O and -X pycache_prefix=<cache>")

# Parts of the standard library no start-up and no plugin of a launcher needs.
skipped = re.compile(r"/(test|tests|idlelib|tkinter|turtledemo|lib2to3|ensurepip|"
                     r"site-packages|dist-packages|config-[^/]*)/")
ok = compileall.compile_dir(stdlib, quiet=1, rx=skipped, workers=1)
ok = compileall.compile_dir(program, quiet=1, workers=1) and ok
for entry in entries:
    path = os.path.join(dist_packages, entry)
    if os.path.isdir(path):
        ok = compileall.compile_dir(path, quiet=1, workers=1) and ok
    elif os.path.isfile(path):
        ok = compileall.compile_file(path, quiet=1) and ok
if not ok:
    sys.exit("compile_bytecode.py: some modules did not compile")
with open(stamp, "w") as f:
    f.write("")
