#!/usr/bin/env python3
"""Writes the encoded documents that the XML file-stream tests read, into the
given folder. Every document is encoded by the system's iconv; beside each
NAME.xml lies NAME.utf16, the same text as UTF-16LE without byte-order mark,
which is what reading NAME.xml must give.

    make_fixtures.py OUT_DIR
"""
import os
import subprocess
import sys

ITEMS = 400


def chinese(declared, emoji):
    lines = ['<?xml version="1.0" encoding="%s"?>' % declared] if declared else []
    lines.append("<catalog lang='zh-CN'>")
    for i in range(ITEMS):
        lines.append('  <item id="%d" name="名称%d">中文内容 %d &amp; 测试，龍鳳·一！</item>' % (i, i, i))
        if i % 7 == 0:
            lines.append('  <note k="%d">汉字%s</note>' % (i, "©€😀🎉" if emoji else "€"))
        if i % 11 == 0:
            lines.append("  <!-- 注释 %d --><empty a='%d'/>" % (i, i))
    lines.append("</catalog>")
    return "\r\n".join(lines) + "\r\n"


def japanese(declared):
    lines = ['<?xml version="1.0" encoding="%s"?>' % declared, "<catalog lang='ja'>"]
    for i in range(ITEMS):
        lines.append('  <item id="%d" name="名前%d">日本語のテキスト %d ｱｲｳｴｵ カタカナ、漢字。</item>'
                     % (i, i, i))
    lines.append("</catalog>")
    return "\r\n".join(lines) + "\r\n"


# name, iconv encoding, byte-order mark, text
FIXTURES = [
    ("utf8", "UTF-8", b"", chinese("UTF-8", True)),
    ("utf8_bom", "UTF-8", b"\xEF\xBB\xBF", chinese("UTF-8", True)),
    ("utf8_undeclared", "UTF-8", b"", chinese(None, True)),
    ("utf16le", "UTF-16LE", b"\xFF\xFE", chinese("UTF-16", True)),
    ("utf16be", "UTF-16BE", b"\xFE\xFF", chinese("UTF-16", True)),
    ("gbk", "GBK", b"", chinese("GBK", False)),
    ("sjis", "CP932", b"", japanese("Shift_JIS")),
    ("gb18030", "GB18030", b"", chinese("GB18030", True)),
    ("utf32", "UTF-32LE", b"", chinese("UTF-32", True)),
    ("utf32be", "UTF-32BE", b"", chinese("UTF-32BE", True)),
]


def iconv(text, encoding):
    return subprocess.run(["iconv", "-f", "UTF-8", "-t", encoding], input=text.encode("utf-8"),
                          stdout=subprocess.PIPE, check=True).stdout


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, encoding, mark, text in FIXTURES:
        with open(os.path.join(out, name + ".xml"), "wb") as f:
            f.write(mark + iconv(text, encoding))
        with open(os.path.join(out, name + ".utf16"), "wb") as f:
            f.write(iconv(text, "UTF-16LE"))


if __name__ == "__main__":
    main()
