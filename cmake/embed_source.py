"""Writes a C++ source that holds a Python module's source text, zlib-compressed.

Usage: embed_source.py <module.py> <output.cpp> <C++ namespace> <symbol>
The program decompresses and compiles the text when the interpreter starts.
"""
import sys
import zlib

source_path, output_path, namespace, symbol = sys.argv[1:5]
with open(source_path, "rb") as f:
    data = zlib.compress(f.read(), 9)

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
