#!/usr/bin/env python3
"""Writes the kedo(1) manual page: the template's fixed sections, with every
subcommand's help text (from the built program) under SUBCOMMANDS. OUT is
the page; OUT.gz its compressed form, which is installed.

    make_man_page.py KEDO TEMPLATE OUT VERSION DATADIR
"""
import gzip
import re
import subprocess
import sys


def roff_text(line):
    """A line of plain text as roff: backslashes and hyphens escaped, no
    control character at the start."""
    line = line.replace("\\", "\\e").replace("-", "\\-")
    if line.startswith((".", "'")):
        line = "\\&" + line
    return line


def help_text(kedo, *args):
    return subprocess.run([kedo, *args, "--help"], check=True, capture_output=True, text=True).stdout


def subcommands(kedo):
    """(name, summary) of each subcommand in kedo --help."""
    overview = help_text(kedo).split("Subcommands:", 1)[1]
    out = []
    for line in overview.splitlines():
        m = re.match(r"^  (\S+)\s+(.*)$", line)
        if m:
            out.append((m.group(1), m.group(2)))
        elif out and line.strip() == "":
            break
    return out


def section(kedo, name, summary):
    """One subcommand: its summary, usage, description paragraphs and options."""
    lines = help_text(kedo, name).rstrip("\n").split("\n")
    out = [f'.SS "kedo {name}"', roff_text(summary[0].upper() + summary[1:]) + "."]
    i = 0
    if lines and lines[0].startswith("Usage: "):
        out += [".PP", ".nf", roff_text(lines[0][len("Usage: "):]), ".fi"]
        i = 1
    in_options = False
    block = []  # plain lines kept as written (tables, examples)
    for line in lines[i:]:
        option = re.match(r"^  (-\S.*?)(?:\s{2,}(.*))?$", line)
        if option:
            out += [".TP", roff_text(option.group(1).rstrip())]
            if option.group(2):
                out.append(roff_text(option.group(2)))
            in_options = True
        elif in_options and line.startswith("   ") and line.strip():
            out.append(roff_text(line.strip()))
        elif line.strip() == "":
            in_options = False
            out.append(".PP")
        elif line.startswith(" "):
            block.append(line)
            out += [".nf", roff_text(line), ".fi"]
        else:
            in_options = False
            out.append(roff_text(line))
    # Paragraph marks: none doubled, none at the end.
    tidy = []
    for l in out:
        if l == ".PP" and tidy and tidy[-1] in (".PP", ".TP"):
            continue
        tidy.append(l)
    while tidy and tidy[-1] == ".PP":
        tidy.pop()
    # Runs of preformatted lines in one .nf block.
    joined = "\n".join(tidy).replace(".fi\n.nf\n", "")
    return joined


def main():
    kedo, template, out, version, datadir = sys.argv[1:6]
    with open(template) as f:
        page = f.read()
    body = "\n".join(section(kedo, name, summary) for name, summary in subcommands(kedo))
    page = page.replace("@SUBCOMMANDS@", body).replace("@VERSION@", version).replace("@DATADIR@", datadir)
    with open(out, "w") as f:
        f.write(page)
    # No name or time in the header: the same page gives the same bytes.
    with open(out + ".gz", "wb") as raw, gzip.GzipFile(filename="", mode="wb", fileobj=raw, mtime=0) as f:
        f.write(page.encode())


if __name__ == "__main__":
    main()
