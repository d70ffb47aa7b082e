"""Writes the zip reader's comparison table into the folder given as argument:
archives made by the zip program and by Python's zipfile, each entry's content
as zipfile reads it, and a manifest line "archive<TAB>entry<TAB>method" per
entry."""
import os
import subprocess
import sys
import zipfile

out = sys.argv[1]
source = os.path.join(out, "source")
files = {
    "a.txt": b"hello world\n" * 50,
    "sub/b.py": b"print('small')\n",
    "empty.py": b"",
    "sub/deep/bin.dat": bytes((i * 7919) % 251 for i in range(70000)),
}
for name, data in files.items():
    os.makedirs(os.path.dirname(os.path.join(source, name)), exist_ok=True)
    with open(os.path.join(source, name), "wb") as f:
        f.write(data)

archives = []
for label, options in (("zip-stored", ["-0"]), ("zip-descriptors", ["-fd"]),
                       ("zip-zip64", ["-fz"])):
    path = os.path.join(out, label + ".zip")
    subprocess.run(["zip", "-q", "-r"] + options + [path, "."], cwd=source, check=True)
    archives.append(path)
streamed = os.path.join(out, "zip-streamed.zip")
with open(streamed, "wb") as f:
    subprocess.run(["zip", "-q", "-r", "-fz", "-", "."], cwd=source, stdout=f, check=True)
archives.append(streamed)

for label, method in (("py-stored", zipfile.ZIP_STORED), ("py-deflated", zipfile.ZIP_DEFLATED),
                      ("py-bzip2", zipfile.ZIP_BZIP2), ("py-lzma", zipfile.ZIP_LZMA)):
    path = os.path.join(out, label + ".zip")
    with zipfile.ZipFile(path, "w", method) as archive:
        for name, data in files.items():
            archive.writestr(name, data)
    archives.append(path)
forced = os.path.join(out, "py-zip64.zip")
with zipfile.ZipFile(forced, "w", zipfile.ZIP_DEFLATED) as archive:
    for name, data in files.items():
        with archive.open(name, "w", force_zip64=True) as f:
            f.write(data)
archives.append(forced)

with open(os.path.join(out, "manifest"), "w") as manifest:
    for path in archives:
        with zipfile.ZipFile(path) as archive:
            for info in archive.infolist():
                if info.is_dir():
                    continue
                expected = os.path.join(path + ".d", info.filename)
                os.makedirs(os.path.dirname(expected), exist_ok=True)
                with open(expected, "wb") as f:
                    f.write(archive.read(info))
                manifest.write("{}\t{}\t{}\n".format(path, info.filename, info.compress_type))
