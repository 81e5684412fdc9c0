#!/usr/bin/env python3
"""Copies the source tree for a clang build, with every narrow literal already in GBK.

GCC turns the UTF-8 sources' narrow literals into GBK with -fexec-charset; clang has no such
option. Here each non-ASCII character inside a plain string or character literal becomes its
GBK bytes as three-digit octal escapes (which, unlike \\x, cannot swallow a following digit);
comments and everything else are copied as they are. Files are rewritten only when their
content changes, so an incremental build stays incremental.

usage: gbk_tree.py SOURCE_ROOT MIRROR_ROOT
"""
import os
import sys

SKIP_DIRS = {".git", "build"}
CPP_SUFFIXES = (".cpp", ".h", ".cc", ".inc")


def escape(ch):
    return "".join("\\%03o" % b for b in ch.encode("gb18030"))


def transcode(text, name):
    out = []
    i, n = 0, len(text)
    token = ""  # the identifier or number just before, for prefixes and digit separators
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(text[i:j])
            i, token = j, ""
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(text[i:j])
            i, token = j, ""
        elif c == "'" and token[:1].isdigit():
            out.append(c)  # 1'000
            i += 1
        elif c in "\"'":
            if token.endswith("R") and c == '"':
                delim = text[i + 1 : text.index("(", i)]
                j = text.index(")" + delim + '"', i) + len(delim) + 2
                if any(ord(ch) >= 128 for ch in text[i:j]):
                    raise SystemExit("%s: non-ASCII raw string literal" % name)
                out.append(text[i:j])
                i, token = j, ""
                continue
            wide = token in ("L", "u", "U", "u8")
            j = i + 1
            body = []
            while j < n and text[j] != c:
                if text[j] == "\\":
                    body.append(text[j : j + 2])
                    j += 2
                    continue
                if text[j] == "\n":
                    raise SystemExit("%s: unterminated literal" % name)
                body.append(text[j] if wide or ord(text[j]) < 128 else escape(text[j]))
                j += 1
            out.append(c + "".join(body) + c)
            i, token = j + 1, ""
        else:
            if ord(c) >= 128:
                raise SystemExit("%s: non-ASCII text outside a literal or comment" % name)
            token = token + c if (c.isalnum() or c in "_.") else ""
            out.append(c)
            i += 1
    return "".join(out)


def write_if_changed(path, data):
    try:
        with open(path, "rb") as f:
            if f.read() == data:
                return
    except FileNotFoundError:
        pass
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def main():
    source, mirror = (os.path.abspath(p) for p in sys.argv[1:3])
    kept = set()
    for folder, dirs, files in os.walk(source):
        dirs[:] = [d for d in dirs if d not in SKIP_DIRS and os.path.join(folder, d) != mirror]
        for f in files:
            src = os.path.join(folder, f)
            rel = os.path.relpath(src, source)
            with open(src, "rb") as fh:
                data = fh.read()
            if f.endswith(CPP_SUFFIXES):
                data = transcode(data.decode("utf-8"), rel).encode("utf-8")
            dst = os.path.join(mirror, rel)
            write_if_changed(dst, data)
            os.chmod(dst, os.stat(src).st_mode & 0o777)
            kept.add(dst)
    # Files gone from the source go from the mirror too.
    for folder, _, files in os.walk(mirror):
        for f in files:
            path = os.path.join(folder, f)
            if path not in kept:
                os.remove(path)
    # The top CMakeLists.txt lets a compiler other than GCC build only a copy with this mark.
    write_if_changed(os.path.join(mirror, ".gbk-literals"), b"")


if __name__ == "__main__":
    main()
