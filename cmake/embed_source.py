"""Writes a C++ source that holds a Python module's code, zlib-compressed.

Usage: python3 embed_source.py <module.py> <output.cpp> <C++ namespace> <symbol>
The code is the module compiled at optimisation level 1, as the program's
interpreter runs, and marshalled: run this with the interpreter the program
embeds (the same minor version reads the same marshal format). The program
decompresses and loads it when the interpreter starts, without compiling.
"""
import marshal
import os
import sys
import zlib

source_path, output_path, namespace, symbol = sys.argv[1:5]
module = os.path.splitext(os.path.basename(source_path))[0]
with open(source_path, "rb") as f:
    code = compile(f.read(), f"<{module}>", "exec", dont_inherit=True, optimize=1)
data = zlib.compress(marshal.dumps(code), 9)

rows = [", ".join(f"0x{b:02X}" for b in data[i:i + 16]) for i in range(0, len(data), 16)]
body = ",\n    ".join(rows)
text = f"""// Generated from {source_path.rsplit('/', 1)[-1]} at build time: do not edit.
#include <cstddef>

namespace {namespace} {{
extern const unsigned char {symbol}[] = {{
    {body}
}};
extern const std::size_t {symbol}Size = sizeof({symbol});
}} // namespace {namespace}
"""
with open(output_path, "w") as f:
    f.write(text)
