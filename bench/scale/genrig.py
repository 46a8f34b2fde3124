#!/usr/bin/env python3
"""Writes a Maya ASCII rig of N joints, shaped like a production rig: chains
of ten joints hanging off each other as a binary tree (depth ~10 log2(N/10)),
every joint with translate, rotate, orient and radius, the inverse-scale
connection Maya writes between parent and child joints, and a group of
plain transforms addressed by full path."""
import sys

CHAIN = 10


def parent_of(i):
    if i == 0:
        return None
    if i % CHAIN:
        return i - 1
    group = i // CHAIN
    # head of chain `group` hangs off the middle of chain (group - 1) // 2
    return ((group - 1) // 2) * CHAIN + CHAIN // 2


def write(path, joints):
    with open(path, "w") as out:
        w = out.write
        w("//Maya ASCII 2016 scene\n")
        w('requires maya "2016";\n')
        w("currentUnit -l centimeter -a degree -t film;\n")
        w('createNode transform -n "rig";\n')
        w('createNode transform -n "geo" -p "|rig";\n')
        w('createNode transform -n "bodyGeo" -p "|rig|geo";\n')
        for i in range(joints):
            p = parent_of(i)
            name = "j%d" % i
            if p is None:
                w('createNode joint -n "%s" -p "rig";\n' % name)
            else:
                w('createNode joint -n "%s" -p "j%d";\n' % (name, p))
            k = i % 7
            w('\tsetAttr ".t" -type "double3" %d.5 0.%d -1.25 ;\n' % (k + 1, k))
            w('\tsetAttr ".r" -type "double3" 0 %d.25 0 ;\n' % k)
            w('\tsetAttr ".jo" -type "double3" 0 -%d.5 %d ;\n' % (k, k))
            w('\tsetAttr ".radi" 0.5;\n')
        for i in range(1, joints):
            w('connectAttr "j%d.s" "j%d.is";\n' % (parent_of(i), i))


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: genrig.py JOINTS OUT.ma")
    write(sys.argv[2], int(sys.argv[1]))


if __name__ == "__main__":
    main()
