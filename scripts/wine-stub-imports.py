#!/usr/bin/env python3
"""Lists the imports of Windows binaries that Wine only stubs: a call into one ends the process.

An import is a stub when Wine's DLL of that name does not export it (the loader then puts in a thunk that
raises "unimplemented function") or exports it as a generated stub (a __wine_stub_<name> symbol).
Forwarded exports are followed; an API set (api-ms-win-...) is looked up in the DLLs Wine maps it to.
Usage: wine-stub-imports.py BINARY...  Prints "binary dll function kind" per stub; exit status 1 when
there is one, 2 when Wine's DLLs or objdump are missing.
"""
import os
import re
import subprocess
import sys

WINE_DLLS = os.environ.get("WINE_DLL_DIR") or "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows"
OBJDUMP = os.environ.get("OBJDUMP") or "x86_64-w64-mingw32-objdump"


def objdump(*args):
    return subprocess.run([OBJDUMP, *args], capture_output=True, text=True, check=True).stdout


def imports(path):
    found = []
    dll = None
    for line in objdump("-p", path).splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            dll = m.group(1).lower()
            continue
        m = re.match(r"\s*[0-9a-f]+\s+\d+\s+(\S+)$", line)
        if dll and m:
            found.append((dll, m.group(1)))
    return found


_cache = {}


def wine_dll(name):
    """(exports: name -> forwarder text or None, stub names), or None when Wine has no such DLL."""
    if name in _cache:
        return _cache[name]
    path = os.path.join(WINE_DLLS, name)
    if not os.path.exists(path):
        _cache[name] = None
        return None
    text = objdump("-p", path)
    entries = {}
    for m in re.finditer(r"\[\s*(\d+)\] \+base\[\s*\d+\] [0-9a-f]+ (Export|Forwarder) RVA(?: -- (\S+))?", text):
        entries[int(m.group(1))] = m.group(3)
    names = {}
    table = text.split("[Ordinal/Name Pointer] Table")[-1]
    for m in re.finditer(r"\[\s*(\d+)\] (\S+)", table):
        names[m.group(2)] = entries.get(int(m.group(1)))
    stubs = set(re.findall(r"__wine_stub_(\S+)", objdump("-t", path)))
    _cache[name] = (names, stubs)
    return _cache[name]


# API sets Wine resolves through its schema rather than a DLL of that name: where to look for them.
API_SET_HOSTS = [("api-ms-win-core-winrt", ["combase.dll"]), ("api-ms-win-", ["kernelbase.dll", "combase.dll"])]


def status(dll, function, depth=0):
    """'ok', 'stub' (exported as a generated stub), 'missing' (not exported) or 'no-dll'."""
    info = wine_dll(dll)
    if info is None:
        for prefix, hosts in API_SET_HOSTS:
            if dll.startswith(prefix):
                kinds = [status(host, function, depth + 1) for host in hosts]
                return "ok" if "ok" in kinds else kinds[0]
        return "no-dll"
    names, stubs = info
    if function not in names:
        return "missing"
    if function in stubs:
        return "stub"
    forward = names[function]
    if forward and depth < 8:
        target, _, name = forward.partition(".")
        return status(target.lower() + ".dll", name, depth + 1)
    return "ok"


def main(paths):
    if not os.path.isdir(WINE_DLLS):
        print(f"no Wine DLLs in {WINE_DLLS}", file=sys.stderr)
        return 2
    found = 0
    for path in paths:
        for dll, function in imports(path):
            kind = status(dll, function)
            if kind != "ok":
                print(f"{os.path.basename(path)} {dll} {function} {kind}")
                found += 1
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
