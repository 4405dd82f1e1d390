#!/usr/bin/env python3
"""What the Windows release carries besides nimbrel.exe, made at build time.

    release.py notices HEAD ATTRIBUTIONS OUT   THIRD-PARTY-NOTICES.txt from what is linked in
    release.py patches SCRIPT FOLDER           the changes the static Qt's build script makes, as files
    release.py text IN OUT                     a text with Windows line ends (and a byte-order mark
                                               where it holds more than ASCII), as old Notepad needs

The notices: HEAD is the opening text (Nimbrel, Qt's LGPL terms and how to relink); ATTRIBUTIONS
is the folder with attributions.json and licenses/ of the static Qt (every entry linked into a
Core/Gui/Widgets/Svg program); the MinGW-w64 runtime's notices come from Debian's copyright files
of the cross compiler the exe is built with. So nothing linked is missed by hand-picking.
The patches: the script carries them inline (patch -p1 <<'QTPATCHEOF' ... QTPATCHEOF); its first
block holds two changes, split at the file the second one touches.
"""
import json
import pathlib
import re
import sys

RUNTIME = [
    ("GCC runtime libraries (libstdc++, libgcc), under the GCC Runtime Library Exception",
     "/usr/share/doc/gcc-mingw-w64-base/copyright"),
    ("MinGW-w64 runtime (the CRT start-up code, winpthreads)", "/usr/share/doc/mingw-w64-common/copyright"),
]
RULE = "=" * 78
PATCHES = ["1-no-wintab.patch", "2-directwrite-without-direct2d.patch", "3-static-runtime-is-gcc-static.patch"]
SPLIT = "--- a/src/plugins/platforms/windows/qwindowsintegration.cpp\n"


def windows_text(text):
    # A byte-order mark belongs at the start of the file alone, not where a licence file had one.
    text = text.replace("\ufeff", "").replace("\r\n", "\n").replace("\n", "\r\n")
    data = text.encode("utf-8")
    return data if text.isascii() else b"\xef\xbb\xbf" + data


def section(title, body):
    return f"\n\n{RULE}\n{title}\n{RULE}\n\n{body.strip()}\n"


def notices(head_path, attributions_dir, out_path):
    attributions_dir = pathlib.Path(attributions_dir)
    entries = json.loads((attributions_dir / "attributions.json").read_text(encoding="utf-8"))
    text = pathlib.Path(head_path).read_text(encoding="utf-8")
    texts = {}
    for entry in entries:
        title = entry["Name"] + (f" {entry['Version']}" if entry.get("Version") else "")
        lines = [entry.get("Copyright") or "No copyright notice (public domain)."]
        lines.append(f"Licence: {entry.get('License') or entry.get('LicenseId')}"
                     + (f" ({entry['LicenseId']})" if entry.get("LicenseId") and entry.get("License") else ""))
        if entry.get("RequiredNotice"):
            lines.append(entry["RequiredNotice"])
        if entry.get("Homepage"):
            lines.append(f"Home page: {entry['Homepage']}")
        files = [pathlib.PurePosixPath(f).name for f in entry.get("LicenseFiles") or []]
        if files:
            lines.append("Licence text: " + ", ".join(files) + ", below.")
        for f in entry.get("LicenseFiles") or []:
            texts.setdefault(pathlib.PurePosixPath(f).name, (attributions_dir / f).read_text(encoding="utf-8"))
        text += section(title, "\n".join(lines))
    for title, path in RUNTIME:
        text += section(title, pathlib.Path(path).read_text(encoding="utf-8"))
    for name, body in texts.items():
        text += section(f"Licence text: {name}", body)
    pathlib.Path(out_path).write_bytes(windows_text(text))


def patches(script, folder):
    text = pathlib.Path(script).read_text(encoding="utf-8")
    blocks = re.findall(r"<<'QTPATCHEOF'\n(.*?)^QTPATCHEOF$", text, re.S | re.M)
    if len(blocks) != 2 or SPLIT not in blocks[0]:
        sys.exit(f"{script}: the patches are not where they were")
    first, second = blocks[0].split(SPLIT)
    out = pathlib.Path(folder)
    out.mkdir(parents=True, exist_ok=True)
    for name, body in zip(PATCHES, [first, SPLIT + second, blocks[1]]):
        (out / name).write_text(body, encoding="utf-8") # for patch(1) on the machine that builds Qt


def main(argv):
    actions = {"notices": (notices, 3), "patches": (patches, 2),
               "text": (lambda i, o: pathlib.Path(o).write_bytes(windows_text(pathlib.Path(i).read_text(encoding="utf-8"))), 2)}
    if len(argv) < 2 or argv[1] not in actions or len(argv) != 2 + actions[argv[1]][1]:
        sys.exit(__doc__)
    actions[argv[1]][0](*argv[2:])


if __name__ == "__main__":
    main(sys.argv)
