#!/usr/bin/python3
"""The manifest each built exe carries as its RT_MANIFEST resource (extracted with icoutils'
wrestool, so this reads what Windows reads rather than the source file): every row of the
table must hold, and the manifest must be the one resource of its type.

  check-manifest.py EXE...
"""
import subprocess
import sys
import xml.etree.ElementTree as ET

V1 = "{urn:schemas-microsoft-com:asm.v1}"
V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPAT = "{urn:schemas-microsoft-com:compatibility.v1}"
WS2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
WS2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"
WS2020 = "{http://schemas.microsoft.com/SMI/2020/WindowsSettings}"
RT_MANIFEST = "24"


def settings(root, tag):
    """The text of every windowsSettings element called tag (namespace included)."""
    return [el.text.strip() for el in root.iter(tag) if el.text]


def common_controls(root):
    for ident in root.iter(V1 + "assemblyIdentity"):
        if ident.get("name") == "Microsoft.Windows.Common-Controls":
            return (ident.get("version"), ident.get("publicKeyToken"), ident.get("type"))
    return None


# (what, how to read it from the manifest, what it must be)
TABLE = [
    ("requestedExecutionLevel",
     lambda r: [(e.get("level"), e.get("uiAccess")) for e in r.iter(V3 + "requestedExecutionLevel")],
     [("asInvoker", "false")]),
    ("dpiAwareness", lambda r: settings(r, WS2016 + "dpiAwareness"), ["PerMonitorV2"]),
    ("dpiAware (before Windows 10 1703)", lambda r: settings(r, WS2005 + "dpiAware"), ["true/pm"]),
    ("supportedOS", lambda r: [e.get("Id") for e in r.iter(COMPAT + "supportedOS")],
     ["{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"]),
    ("longPathAware", lambda r: settings(r, WS2016 + "longPathAware"), ["true"]),
    ("heapType", lambda r: settings(r, WS2020 + "heapType"), ["SegmentHeap"]),
    ("common-controls dependency", common_controls, ("6.0.0.0", "6595b64144ccf1df", "win32")),
]


def manifests(exe):
    """Every RT_MANIFEST resource of exe, as bytes (wrestool names each on stderr)."""
    listing = subprocess.run(["wrestool", "-l", f"--type={RT_MANIFEST}", exe], check=True,
                             capture_output=True, text=True).stdout.splitlines()
    raw = subprocess.run(["wrestool", "-x", "--raw", f"--type={RT_MANIFEST}", exe],
                         check=True, capture_output=True).stdout
    return listing, raw


def check(exe):
    problems = []
    listing, raw = manifests(exe)
    if len(listing) != 1:
        return [f"{exe}: {len(listing)} RT_MANIFEST resources, want 1: {listing}"]
    if "--name=1 " not in listing[0] + " ":
        problems.append(f"{exe}: the manifest is not resource 1: {listing[0]}")
    try:
        root = ET.fromstring(raw)
    except ET.ParseError as e:
        return problems + [f"{exe}: the manifest is not well-formed XML: {e}"]
    if root.tag != V1 + "assembly":
        problems.append(f"{exe}: the root is {root.tag}")
    for what, read, want in TABLE:
        got = read(root)
        if got != want:
            problems.append(f"{exe}: {what} is {got!r}, want {want!r}")
    return problems


def main(exes):
    problems = [p for exe in exes for p in check(exe)]
    for p in problems:
        print(p)
    print(f"{len(exes)} exe(s), {len(TABLE)} rows: {'FAIL' if problems else 'ok'}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
