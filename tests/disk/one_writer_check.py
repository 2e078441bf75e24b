#!/usr/bin/env python3
"""The worker writes to the disk only through disk/file_system.cpp.

Reads the source of the worker's folders (the pipeline and its stages) and
fails on any call that writes, deletes, moves or makes a file or folder
outside that one file, and on any call of the lower layers' own writers
(the tools' extraction, the XML writer, the plain folder maker). Files are
opened for reading with CreateFileW only when the call asks for reading
alone. Usage: one_writer_check.py SOURCE_ROOT
"""
import pathlib
import re
import sys

WORKER_FOLDERS = ["worker", "fetch", "delta", "verify", "apply", "update", "report", "disk"]
SEAM = "disk/file_system.cpp"

WRITERS = re.compile(
    r"\b(?:WriteFile(?:Ex)?|FlushFileBuffers|SetEndOfFile|SetFileTime|SetFileInformationByHandle"
    r"|DeleteFile[AW]?|MoveFile(?:Ex|WithProgress)?[AW]?|CopyFile(?:Ex|2)?[AW]?|ReplaceFile[AW]?"
    r"|CreateDirectory(?:Ex)?[AW]?|RemoveDirectory[AW]?|SetFileAttributes[AW]?|CreateHardLink[AW]?"
    r"|SHFileOperation[AW]?|SHCreateDirectory(?:Ex)?[AW]?|URLDownloadToFile[AW]?"
    r"|_?w?fopen(?:_s)?|_wfsopen|fwrite|_w?remove|remove|_w?rename|rename|_w?unlink|_w?mkdir|_w?rmdir"
    r"|_w?open|_w?creat"
    # The lower layers' own writers and the unguarded folder maker.
    r"|ExtractArchiveItem|OpenWrite|StartWriteStream|EnsureFolder|MakeFolders)\s*\(")
SAVE = re.compile(r"(?:->|\.)\s*Save\s*\(")
CREATE = re.compile(r"\bCreateFile[AW]?\s*\(")


def call_text(text, start):
    """The call's argument text from its opening parenthesis."""
    depth = 0
    for i in range(start, len(text)):
        if text[i] == "(":
            depth += 1
        elif text[i] == ")":
            depth -= 1
            if depth == 0:
                return text[start:i + 1]
    return text[start:]


def strip_comments(text):
    text = re.sub(r"/\*.*?\*/", lambda m: "\n" * m.group().count("\n"), text, flags=re.S)
    return re.sub(r"//[^\n]*", "", text)


def main():
    root = pathlib.Path(sys.argv[1])
    found = []
    checked = 0
    for folder in WORKER_FOLDERS:
        for path in sorted((root / folder).glob("*.[ch]*")):
            name = path.relative_to(root).as_posix()
            if name == SEAM:
                continue
            checked += 1
            text = strip_comments(path.read_text(encoding="utf-8"))
            line = lambda at: text.count("\n", 0, at) + 1
            for match in WRITERS.finditer(text):
                found.append(f"{name}:{line(match.start())}: {match.group().rstrip('( ')}")
            for match in SAVE.finditer(text):
                found.append(f"{name}:{line(match.start())}: Save")
            for match in CREATE.finditer(text):
                args = call_text(text, match.end() - 1)
                if "GENERIC_READ" not in args or re.search(r"GENERIC_WRITE|GENERIC_ALL|_APPEND_|"
                                                           r"FILE_WRITE|DELETE\b", args):
                    found.append(f"{name}:{line(match.start())}: CreateFile that may write")
    if checked == 0:
        print(f"no worker sources under {root}")
        return 1
    for entry in found:
        print(f"{entry}: a write past the file-system seam")
    print(f"{checked} files of the worker checked, {len(found)} writes past the seam")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
