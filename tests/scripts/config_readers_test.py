#!/usr/bin/env python3
"""Configuration files rewritten from Old to New, read by the readers other
programs use: Python's json, xml.etree.ElementTree and tomllib, and PyYAML
(YAML 1.1, as Debian's python3-yaml has it). For New addresses drawn at
random (fixed seed) from the characters folder names may hold, each sample
is rewritten by movix_config_rewrite and read before and after: the trees
must have the same shape, and every string read as before with each
occurrence of Old replaced by New (with its separators; a file: URL compared
as the address it names). A refused line may leave its values as they were.

    config_readers_test.py MOVIX_CONFIG_REWRITE [COUNT]
"""
import json
import os
import random
import re
import subprocess
import sys
import tempfile
import tomllib
import urllib.parse
import xml.etree.ElementTree as ET

import yaml

# What folder names are made of: blanks, every ASCII character a name may
# hold that some format reads as something else, letters of several scripts,
# YAML 1.1's other line breaks, PowerShell's curly quotes, characters beyond
# the BMP.
PIECES = ["Quill", "data", "A", "9", "x.y", "-", "_", " ", "&", "'", "%", ";", "^", "$", "[", "]", "(", ")", "{", "}",
          ",", "=", "+", "#", "@", "!", "~", "`", ".", "%PATH%", "$env:TEMP", "''", "'''", "--", "]]", " #", "- ",
          "&amp;", "&#65;", "n", "t", "u0041", "U0001F600", "x41", "N", "e", "0", "\u00a0", "\u3000", "é", "ß", "Ω",
          "Ж", "日本", "移動", "한", "ع", "\u0085", "\u2028", "\u2029", "\u2018", "\u2019", "\u201c", "\u201d", "😀",
          "𝄞", "𠀋"]
PREFIXES = ["D:\\", "\\\\srv\\share\\", "e:\\", "D:\\Deep Folder\\"]
OLDS = ["C:\\QUILL", "C:\\Program Files\\Quill"]

# {O} Old as it is, {J} with doubled backslashes, {S} with slashes, {U} with
# slashes and %20 for its blank.
SAMPLES = {
    "json": ["""{
  "install": {"home": "{J}", "bin": "{J}\\\\bin\\\\quill.exe", "data": "{S}/data", "n": 3, "on": true},
  "docs": "file:///{U}/docs/index.html",
  "plugins": [{"path": "{J}\\\\plugins\\\\a.dll"}, "{S}/b", null],
  "other": "C:\\\\QUILLER\\\\keep"
}
"""],
    "xml": ["""<?xml version="1.0" encoding="utf-8"?>
<!-- installed in {O} -->
<?quill-setup path="{O}"?>
<configuration>
  <add key="Home" value="{O}" />
  <add key='Data' value='{O}\\data' />
  <add key="Docs" value="file:///{U}/docs"/>
  <add key="Multi" value="first
    {O}\\lib"/>
  <path>{O}\\bin\\quill.exe</path>
  <note>Tom &amp; Jerry in {O}</note>
  <script><![CDATA[cd "{O}" && run {O}\\x.exe]]></script>
</configuration>
"""],
    "toml": ["""# settings for {O}
[paths]
home = "{J}"
data = '{O}\\data'
url = "file:///{U}/docs"
script = \"\"\"
cd {J}
run {J}\\\\x.exe\"\"\"
raw = '''
{O}\\bin'''
list = [ "{J}\\\\a", '{O}\\b',  # two
  "{S}/c", ]
count = 3
[plugins.extra]
path = "{J}\\\\plugins" # in {O}
"""],
    "yaml": ["""# settings {O}
app:
  home: {O}
  data: '{O}\\data'
  logs: "{J}\\\\logs"
  url: file:///{U}/docs/index.html
  plugins: [{O}\\plugins, '{O}\\extra', "{J}\\\\more"]
  paths:
    - {O}\\bin   # main
    - {S}/share
  script: |
    cd {O}
    run {O}\\x.exe
count: 3
""", """- {O}\\one
- note: |-
    kept in {O}
  other: '{O}'
"""],
}


def sample_text(template, old):
    slashed = old.replace("\\", "/")
    return (template.replace("{O}", old).replace("{J}", old.replace("\\", "\\\\")).replace("{S}", slashed)
            .replace("{U}", slashed.replace(" ", "%20")))


def random_new(rnd):
    parts = []
    for _ in range(rnd.randint(1, 4)):
        part = "".join(rnd.choice(PIECES) for _ in range(rnd.randint(1, 5))).rstrip(" .")
        parts.append(part or "x")
    return rnd.choice(PREFIXES) + "\\".join(parts)


def read(fmt, text):
    if fmt == "json":
        return json.loads(text)
    if fmt == "toml":
        return tomllib.loads(text)
    if fmt == "yaml":
        return yaml.safe_load(text)
    builder = ET.TreeBuilder(insert_comments=True, insert_pis=True)
    parser = ET.XMLParser(target=builder)
    parser.feed(text.encode("utf-8"))
    root = parser.close()

    def tree(e):
        tag = e.tag if isinstance(e.tag, str) else "#comment" if e.tag is ET.Comment else "#pi"
        return [tag, dict(e.attrib), e.text, [tree(c) for c in e], e.tail]
    return tree(root)


def replaced(value, old, new):
    """The string with each occurrence of Old (backslashes or slashes,
    letter case aside, not inside a longer name) replaced by New."""
    pattern = re.compile(r"(?<![A-Za-z0-9])" + "".join(
        r"(?P<sep>[\\/])" if c == "\\" and i == old.index("\\") else r"(?P=sep)" if c == "\\" else re.escape(c)
        for i, c in enumerate(old)) + r"(?![\w.~$-])", re.IGNORECASE)
    return pattern.sub(lambda m: new.replace("\\", "/") if m.group("sep") == "/" else new, value)


def url_address(url):
    """The address a file: URL names, or None where it is not well written."""
    rest = url[5:]
    if rest.startswith("///"):
        rest = rest[3:]
    elif rest.lower().startswith("//localhost/"):
        rest = rest[12:]
    elif rest.startswith("//"):
        pass
    else:
        return None
    if re.search(r"[\s#?\\]|%(?![0-9A-Fa-f]{2})", rest):
        return None
    return urllib.parse.unquote(rest, errors="strict")


def compare(before, after, old, new, lenient, where="$"):
    """Why `after` is not `before` rewritten, or None."""
    if isinstance(before, dict):
        if not isinstance(after, dict) or list(before) != list(after):
            return f"{where}: keys {list(before)} became {after!r}"
        for k in before:
            why = compare(before[k], after[k], old, new, lenient, f"{where}/{k}")
            if why:
                return why
        return None
    if isinstance(before, list):
        if not isinstance(after, list) or len(before) != len(after):
            return f"{where}: {before!r} became {after!r}"
        for i, (b, a) in enumerate(zip(before, after)):
            why = compare(b, a, old, new, lenient, f"{where}[{i}]")
            if why:
                return why
        return None
    if isinstance(before, str) and before[:5].lower() == "file:":
        want = replaced(url_address(before), old, new)
        got = url_address(after) if isinstance(after, str) else None
        if got == want or (lenient and after == before):
            return None
        return f"{where}: URL {after!r} names {got!r}, not {want!r}"
    want = replaced(before, old, new) if isinstance(before, str) else before
    if after == want or (lenient and after == before):
        return None
    return f"{where}: {after!r}, not {want!r}"


def main():
    tool = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 300
    rnd = random.Random(20261208)
    failures, refused, checked = [], 0, 0
    with tempfile.TemporaryDirectory() as folder:
        for n in range(count):
            old, new = rnd.choice(OLDS), random_new(rnd)
            jobs = []
            for fmt, templates in SAMPLES.items():
                for k, template in enumerate(templates):
                    name = os.path.join(folder, f"{fmt}{k}")
                    with open(name + ".in", "w", encoding="utf-8", newline="") as f:
                        f.write(sample_text(template, old))
                    jobs.append((fmt, name))
            args = [tool, old, new] + [a for fmt, name in jobs for a in (fmt, name + ".in", name + ".out")]
            run = subprocess.run(args, capture_output=True, encoding="utf-8")
            if run.returncode != 0:
                sys.exit(f"movix_config_rewrite failed: {run.stderr}")
            for fmt, name in jobs:
                with open(name + ".in", encoding="utf-8", newline="") as f:
                    text = f.read()
                with open(name + ".out", encoding="utf-8", newline="") as f:
                    rewritten = f.read()
                lenient = f"refused {name}.in " in run.stdout
                refused += lenient
                checked += 1
                before = read(fmt, text)
                try:
                    after = read(fmt, rewritten)
                    why = compare(before, after, old, new, lenient)
                except Exception as e:  # any reader's error: the file no longer reads
                    why = f"does not read: {type(e).__name__}: {e}"
                if why:
                    failures.append(f"{fmt} sample {name[-1]}, Old {old!r}, New {new!r}: {why}\n"
                                    f"--- rewritten:\n{rewritten}")
    print(f"{checked} files checked for {count} New addresses, {refused} with refused lines, "
          f"{len(failures)} failed")
    for f in failures[:20]:
        print("FAIL", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
