#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Finds C++ identifiers that are still named after the old program's forms, widgets and timers.

Usage: scripts/check-widget-names.py FOLDER...

Such names (TForm1, Label17, Edit9, Image0_LogClick, Timer1Timer, StringGrid3SelectCell, ...) say
where a thing sat on the old forms, not what it holds or does. They may stay in string literals
(object names the window's tests look widgets up by) and in // comments that trace a behaviour
back; everywhere else they count, /* */ comments included. Each hit is printed as
FILE:LINE: NAME, and the exit status is 1 when there is any.
"""

import os
import re
import sys

SOURCE_SUFFIXES = (".h", ".hh", ".hpp", ".c", ".cc", ".cpp", ".cxx", ".inc")

OLD_NAME = re.compile(
    r"\b(T[A-Z][a-zA-Z]*[0-9]\w*"
    r"|(Label|Edit|Memo|Image|Timer|CheckBox|StaticText|StringGrid|Panel|ProgressBar|Notebook|StatusBar"
    r"|Button|RadioButton|ComboBox)[0-9_]\w*"
    r"|\w+(Click|DblClick|Timer|SelectCell)\b)"
)

# Names from Qt and its test library that fit the pattern but name no old widget.
LIBRARY_NAMES = {
    "QTimer",
    "QBasicTimer",
    "QDeadlineTimer",
    "QElapsedTimer",
    "startTimer",
    "killTimer",
    "mouseClick",
    "mouseDClick",
    "keyClick",
    "MouseButtonDblClick",
}

RAW_STRING = re.compile(r'(?:u8|[uUL])?R"([^()\\ ]{0,16})\(')


def strip_literals_and_line_comments(text):
    """The text with string and character literals emptied and // comments removed.

    Line breaks stay where they are, so line numbers still match the file.
    """
    out = []
    i = 0
    n = len(text)
    while i < n:
        c = text[i]
        if c == "/" and text.startswith("//", i):
            end = text.find("\n", i)
            i = n if end < 0 else end
            continue
        if c == "/" and text.startswith("/*", i):
            # A block comment is kept as code, but a quote inside it starts no literal.
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            out.append(text[i:end])
            i = end
            continue
        raw = RAW_STRING.match(text, i)
        if raw and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            closing = ")" + raw.group(1) + '"'
            end = text.find(closing, raw.end())
            end = n if end < 0 else end + len(closing)
            out.append('""' + "\n" * text.count("\n", i, end))
            i = end
            continue
        if c == '"' or (c == "'" and not (i > 0 and text[i - 1].isalnum())):  # 1'000 is a number
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            out.append(c + c)
            i = j + 1
            continue
        out.append(c)
        i += 1
    return "".join(out)


def hits_in(path):
    with open(path, encoding="utf-8", errors="replace") as source:
        code = strip_literals_and_line_comments(source.read())
    for number, line in enumerate(code.split("\n"), start=1):
        for match in OLD_NAME.finditer(line):
            name = match.group(1)
            if name not in LIBRARY_NAMES:
                yield number, name


def source_files(folder):
    if os.path.isfile(folder):
        yield folder
        return
    for root, dirs, files in os.walk(folder):
        dirs.sort()
        for name in sorted(files):
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.join(root, name)


def main(folders):
    if not folders:
        print(__doc__.strip().split("\n\n")[1], file=sys.stderr)
        return 2
    found = False
    for folder in folders:
        if not os.path.exists(folder):
            print(f"{folder}: no such file or folder", file=sys.stderr)
            return 2
        for path in source_files(folder):
            for number, name in hits_in(path):
                print(f"{path}:{number}: {name}")
                found = True
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
