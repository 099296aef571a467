#!/usr/bin/env python3
"""Writes the epsFile of a trained English model set: the tied copies.

  make_eps.py MODELS.mac EPS.txt

kedo train spells every tied right-context model out in full, so a phone of a
tied cluster meets its own copies among its competitors, with exactly its own
likelihood, and they would count against its rank. Each line of EPS.txt names
a model and, after it, the other models with the same parameters, which then
do not count as its competitors. Models without a copy get no line.
"""
import os
import sys


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    groups, name, body = {}, None, []
    with open(sys.argv[1], encoding="latin-1") as f:
        for line in f:
            if line.startswith("~h "):
                if name is not None:
                    groups.setdefault("".join(body), []).append(name)
                name, body = line.split('"')[1], []
            elif name is not None:
                body.append(line)
    if name is not None:
        groups.setdefault("".join(body), []).append(name)
    lines = []
    for names in groups.values():
        if len(names) > 1:
            for n in names:
                lines.append("\t".join([n] + [m for m in names if m != n]))
    lines.sort()
    with open(sys.argv[2] + ".tmp", "w", encoding="latin-1") as f:
        f.write("% model TAB its tied copies, which do not compete with it\n")
        f.write("".join(l + "\n" for l in lines))
    os.replace(sys.argv[2] + ".tmp", sys.argv[2])
    print("eps: %d models in %d tied groups" % (len(lines), sum(1 for n in groups.values() if len(n) > 1)))


if __name__ == "__main__":
    main()
