#!/usr/bin/python3
"""Checks that every #include in the sources points along an allowed arrow.

The rooms and what each may include are the table in docs/architecture.md;
this script reads it from there so the document and the check cannot drift.

Usage:
  scripts/check-includes.py [--root DIR]     fail (1) on any include the table forbids
  scripts/check-includes.py --graph          print the room-to-room arrows with counts
  scripts/check-includes.py --self-test      check this script on small made-up trees
"""

import argparse
import os
import re
import sys
import tempfile
import unittest

SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc", ".c")
TABLE_DOC = os.path.join("docs", "architecture.md")

# Folders the build puts on the include path, tried in this order after the
# including file's own folder. They mirror the target_include_directories of
# the CMake files: a new one there belongs here too.
INCLUDE_ROOTS = (
    "",                     # "convert/X.h", "motion/X.h", "formats/bvh/X.h", ...
    "host/include",         # <maya/X.h>, <qmfhost/X.h>
    "host/ascii/include",   # "qmfhost/Ma*.h"
    "kell/include",         # <kell.h>, <kell_authoring.h>
    "clips/include",
    "formats/include",
    "fileio/include",
    "bvh/include",
    "svg/include",
    "retarget/include",
    # Folders private to some targets (libraries' internals, tests' helpers).
    "kell/src",
    "kell/src/testing",
    "python/src",
    "tools/qmf",
    "tests/doubles",
    "tests/kell",
    "tests/svg",
    "tests/cli",
)

NOT_FOUND = ("is no file of the repository (a new include folder belongs in INCLUDE_ROOTS, "
             "a new folder in the table)")

INCLUDE_RE = re.compile(r'^\s*#\s*include\b\s*(?:"([^"]+)"|<([^>]+)>|(\S.*?))\s*(?://.*|/\*.*)?$')


class TableError(Exception):
    pass


class Table:
    """The rooms, the folders each owns and the rooms each may include."""

    def __init__(self, rooms):
        # rooms: list of (name, [folders], set(allowed))
        self.rooms = rooms
        self.allowed = {name: allowed for name, _, allowed in rooms}
        self.folders = sorted(((f, name) for name, folders, _ in rooms for f in folders),
                              key=lambda item: -len(item[0]))

    def names(self):
        return [name for name, _, _ in self.rooms]

    def room_of(self, rel_path):
        """The room owning a repository-relative path: the longest folder that holds it."""
        for folder, name in self.folders:
            if rel_path == folder or rel_path.startswith(folder + "/"):
                return name
        return None

    def allows(self, source, target):
        return source == target or target in self.allowed.get(source, set())


def _cells(line):
    return [c.strip() for c in line.strip().strip("|").split("|")]


def _names(cell):
    cell = cell.replace("`", "").strip()
    if cell in ("", "-", "—", "nothing"):
        return []
    return [n.strip().rstrip("/") for n in cell.split(",") if n.strip()]


def parse_table(text):
    """Reads the first Markdown table whose header is Room | Folders | May include."""
    lines = text.splitlines()
    for i, line in enumerate(lines):
        if not line.lstrip().startswith("|"):
            continue
        header = [c.lower() for c in _cells(line)]
        if header[:3] != ["room", "folders", "may include"]:
            continue
        rooms = []
        for row in lines[i + 2:]:
            if not row.lstrip().startswith("|"):
                break
            cells = _cells(row)
            if len(cells) < 3:
                raise TableError("a row of the rooms table has fewer than three cells: " + row.strip())
            name = cells[0].replace("`", "").replace("*", "").strip()
            rooms.append((name, _names(cells[1]), set(_names(cells[2]))))
        if not rooms:
            raise TableError("the rooms table has no rows")
        known = {name for name, _, _ in rooms}
        for name, folders, allowed in rooms:
            if not folders:
                raise TableError(f"room {name} owns no folder")
            for other in sorted(allowed - known):
                raise TableError(f"room {name} may include {other}, which is not a room of the table")
        cycle = _cycle({name: allowed for name, _, allowed in rooms})
        if cycle:
            raise TableError("the arrows go round in a circle: " + " -> ".join(cycle))
        return Table(rooms)
    raise TableError("no table with the columns Room | Folders | May include")


def _cycle(graph):
    """A path that comes back to its start, or None: arrows must only point down."""
    state = {}

    def visit(name, path):
        state[name] = "open"
        for other in sorted(graph[name]):
            if state.get(other) == "open":
                return path[path.index(other):] + [other]
            if other not in state:
                found = visit(other, path + [other])
                if found:
                    return found
        state[name] = "done"
        return None

    for name in graph:
        if name not in state:
            found = visit(name, [name])
            if found:
                return found
    return None


def load_table(root):
    path = os.path.join(root, TABLE_DOC)
    try:
        with open(path, encoding="utf-8") as f:
            return parse_table(f.read())
    except OSError as e:
        raise TableError(f"cannot read {TABLE_DOC}: {e.strerror}")


def _skipped(name, top):
    """Build trees (build/, build-asan/ ...) and other people's files."""
    if name in (".git", "node_modules"):
        return True
    return name.startswith("build") if top else name == "build" or name.startswith("build-")


def source_files(root):
    for folder, dirs, files in os.walk(root):
        rel_folder = os.path.relpath(folder, root)
        dirs[:] = sorted(d for d in dirs if not _skipped(d, rel_folder == "."))
        for name in sorted(files):
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.normpath(os.path.join(rel_folder, name))


def includes_of(path):
    """(line number, quoted or None, angled or None, other) for each #include line."""
    with open(path, encoding="utf-8", errors="replace") as f:
        for number, line in enumerate(f, 1):
            m = INCLUDE_RE.match(line)
            if m:
                yield number, m.group(1), m.group(2), m.group(3)


class Resolver:
    def __init__(self, root, table):
        self.root = root
        self.table = table
        self.cmake_text = {}
        # First components under the include roots: <maya/X.h> names one of
        # ours even when X.h is missing, <vector> or <gtest/gtest.h> does not.
        self.prefixes = set()
        for r in INCLUDE_ROOTS:
            base = os.path.join(root, r)
            if os.path.isdir(base):
                self.prefixes.update(d for d in os.listdir(base)
                                     if os.path.isdir(os.path.join(base, d)) and not d.startswith("."))

    def _exists(self, rel):
        return os.path.isfile(os.path.join(self.root, rel))

    def _inside(self, rel):
        return rel != ".." and not rel.startswith("../") and not os.path.isabs(rel)

    def _generated(self, source_room, name):
        """A header the build makes: named by a CMakeLists.txt of the includer's room."""
        for folder, room in self.table.folders:
            if room != source_room:
                continue
            for dirpath, dirs, files in os.walk(os.path.join(self.root, folder)):
                if "CMakeLists.txt" in files:
                    path = os.path.join(dirpath, "CMakeLists.txt")
                    if path not in self.cmake_text:
                        with open(path, encoding="utf-8", errors="replace") as f:
                            self.cmake_text[path] = f.read()
                    if re.search(r"(?<![\w.])" + re.escape(name) + r"(?![\w.])", self.cmake_text[path]):
                        return True
        return False

    def resolve(self, including, name, quoted, source_room):
        """("file", rel path) | ("generated", None) | ("external", None) | ("missing", why)."""
        if quoted:
            rel = os.path.normpath(os.path.join(os.path.dirname(including), name))
            if not self._inside(rel):
                return "missing", "points outside the repository"
            if self._exists(rel):
                return "file", rel
        for r in INCLUDE_ROOTS:
            rel = os.path.normpath(os.path.join(r, name))
            if self._inside(rel) and self._exists(rel):
                return "file", rel
        first = name.split("/")[0]
        if quoted:
            if "/" not in name and self._generated(source_room, name):
                return "generated", None
            return "missing", NOT_FOUND
        if first in self.prefixes and "/" in name:
            return "missing", NOT_FOUND
        return "external", None


def scan(root, table):
    """Yields (file, line, source room, include text, kind, target room or why)."""
    resolver = Resolver(root, table)
    for rel in source_files(root):
        source_room = table.room_of(rel)
        for number, quoted, angled, other in includes_of(os.path.join(root, rel)):
            text = quoted if quoted is not None else angled if angled is not None else other
            if source_room is None:
                yield rel, number, None, text, "orphan", None
                continue
            if quoted is None and angled is None:
                yield rel, number, source_room, text, "missing", "is not a plain file name"
                continue
            kind, value = resolver.resolve(rel, text, quoted is not None, source_room)
            if kind == "file":
                target = table.room_of(value)
                if target is None:
                    yield rel, number, source_room, text, "missing", f"is {value}, in no room of the table"
                else:
                    yield rel, number, source_room, text, "room", target
            elif kind == "generated":
                yield rel, number, source_room, text, "room", source_room
            elif kind == "missing":
                yield rel, number, source_room, text, "missing", value


def problems(root, table):
    """One line per forbidden or unresolvable include, and per file in no room."""
    out = []
    orphans = set()
    for rel, number, source, text, kind, value in scan(root, table):
        if kind == "orphan":
            if rel not in orphans:
                orphans.add(rel)
                out.append(f"{rel}:{number}: the file is in no room of the table; add its folder to a room")
        elif kind == "missing":
            out.append(f'{rel}:{number}: {source} includes "{text}", which {value}')
        elif kind == "room" and not table.allows(source, value):
            out.append(f'{rel}:{number}: {source} includes {value} ("{text}"), which the table does not allow')
    return out


def graph(root, table):
    counts = {}
    for _, _, source, _, kind, value in scan(root, table):
        if kind == "room" and source != value:
            counts[(source, value)] = counts.get((source, value), 0) + 1
    lines = []
    for (source, target), n in sorted(counts.items()):
        mark = "" if table.allows(source, target) else "   NOT IN THE TABLE"
        lines.append(f"{source} -> {target}  {n}{mark}")
    for source in table.names():
        for target in sorted(table.allowed[source]):
            if (source, target) not in counts:
                lines.append(f"{source} -> {target}  0   in the table, used by no include")
    return lines


# ---------------------------------------------------------------- self-test

FAKE_TABLE = """# Rooms

| Room | Folders | May include |
| --- | --- | --- |
| maya-api | `host/include/maya/` | — |
| host | `host/` | maya-api |
| kell | `kell/` | — |
| translator | `plugin/`, `convert/`, `interfaces/` | maya-api, kell |
| clips | `clips/` | kell |
| formats | `formats/` | clips, kell, translator |
| tools | `tools/` | formats, clips |
| tests | `tests/` | translator, formats, clips, host, maya-api, kell |
"""

FAKE_FILES = {
    "host/include/maya/MObject.h": "#include <cstddef>\n",
    "host/include/qmfhost/Scene.h": "#include <maya/MObject.h>\n",
    "host/src/Scene.cpp": '#include "qmfhost/Scene.h"\n#include "HostState.h"\n',
    "host/src/HostState.h": "#include <vector>\n",
    "kell/include/kell.h": "#include <stddef.h>\n",
    "interfaces/AnimLibrary.h": "#include <kell.h>\n",
    "convert/Space.h": '#include "interfaces/AnimLibrary.h"\n#include <maya/MObject.h>\n',
    "plugin/Main.cpp": '#include "../convert/Space.h"\n  #  include <maya/MObject.h>  // why\n',
    "clips/include/clips/Clip.h": '#include "kell.h"\n',
    "formats/include/formats/Model.h": '#include "clips/Clip.h"\n',
    "formats/bvh/BvhFormat.h": '#include "formats/Model.h"\n',
    "formats/Routes.cpp": '#include "formats/bvh/BvhFormat.h"\n#include "convert/Space.h"\n',
    "tools/qmf/CMakeLists.txt": "configure_file(Version.h.in ${CMAKE_CURRENT_BINARY_DIR}/generated/Version.h)\n",
    "tools/qmf/Args.h": '#include "formats/Model.h"\n',
    "tools/qmf/main.cpp": '#include "Args.h"\n#include "Version.h"\n#include <gtest/gtest.h>\n',
    "tools/qmf/tests/ArgsTest.cpp": '#include "Args.h"\n#include "../Args.h"\n',
    "tests/t/Test.cpp": '#include "formats/Model.h"\n#include <qmfhost/Scene.h>\n#include <nlohmann/json.hpp>\n',
    "build/gen/Anything.cpp": '#include "nowhere.h"\n',
    "build-asan/Other.cpp": '#include "nowhere.h"\n',
    "tools/qmf/build/Gen.cpp": '#include "nowhere.h"\n',
}


def _make_tree(base, extra=None, table=FAKE_TABLE):
    files = dict(FAKE_FILES)
    files.update(extra or {})
    files["docs/architecture.md"] = table
    for rel, text in files.items():
        path = os.path.join(base, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)


class SelfTest(unittest.TestCase):
    def check(self, extra=None, table=FAKE_TABLE):
        with tempfile.TemporaryDirectory() as base:
            _make_tree(base, extra, table)
            return problems(base, load_table(base))

    def test_allowed_tree_passes(self):
        # Relative, root-relative, angled, generated and external includes,
        # and tools/qmf/tests using tools/qmf, are all fine.
        self.assertEqual(self.check(), [])

    def test_forbidden_arrows_are_reported(self):
        cases = [
            # (file, text, expected line)
            ("clips/src/Up.cpp", '#include "formats/Model.h"\n',
             'clips/src/Up.cpp:1: clips includes formats ("formats/Model.h"), which the table does not allow'),
            ("convert/Host.cpp", "#include <vector>\n#include <qmfhost/Scene.h>\n",
             'convert/Host.cpp:2: translator includes host ("qmfhost/Scene.h"), which the table does not allow'),
            # Found only through the tools/qmf include root.
            ("tests/t/Uses.cpp", '#include "Args.h"\n',
             'tests/t/Uses.cpp:1: tests includes tools ("Args.h"), which the table does not allow'),
            # Relative, escaping into another room.
            ("formats/bvh/Sneak.cpp", '#include "../../tools/qmf/Args.h"\n',
             'formats/bvh/Sneak.cpp:1: formats includes tools ("../../tools/qmf/Args.h"), '
             "which the table does not allow"),
            # A library's private header is still its room's.
            ("formats/Private.cpp", '#include "../host/src/HostState.h"\n',
             'formats/Private.cpp:1: formats includes host ("../host/src/HostState.h"), '
             "which the table does not allow"),
        ]
        for rel, text, expected in cases:
            with self.subTest(rel=rel):
                self.assertEqual(self.check({rel: text}), [expected])

    def test_unresolvable_includes_are_reported(self):
        cases = [
            ("formats/A.cpp", '#include "formats/Gone.h"\n', '"formats/Gone.h", which is no file'),
            ("formats/B.cpp", "#include <maya/MGone.h>\n", '"maya/MGone.h", which is no file'),
            ("formats/C.cpp", '#include "../../outside.h"\n', "points outside the repository"),
            ("formats/D.cpp", "#include HEADER_MACRO\n", "is not a plain file name"),
            # A generated header counts only for the room whose build makes it.
            ("formats/E.cpp", '#include "Version.h"\n', '"Version.h", which is no file'),
            # A header in a folder that belongs to no room.
            ("formats/F.cpp", '#include "newroom/Thing.h"\n', "is newroom/Thing.h, in no room of the table"),
        ]
        for rel, text, fragment in cases:
            with self.subTest(rel=rel):
                found = self.check({rel: text, "newroom/Thing.h": ""} if "newroom" in text else {rel: text})
                relevant = [p for p in found if p.startswith(rel + ":1: ")]
                self.assertEqual(len(relevant), 1, found)
                self.assertIn(fragment, relevant[0])

    def test_file_in_no_room_is_reported_once(self):
        found = self.check({"newroom/a.cpp": "#include <vector>\n#include <map>\n"})
        self.assertEqual(found, ["newroom/a.cpp:1: the file is in no room of the table; add its folder to a room"])

    def test_broken_tables_are_refused(self):
        cases = [
            (FAKE_TABLE.replace("| clips | `clips/` | kell |", "| clips | `clips/` | kell, nosuch |"),
             "nosuch, which is not a room"),
            (FAKE_TABLE.replace("May include", "Uses"), "no table with the columns"),
            (FAKE_TABLE.replace("| kell | `kell/` | — |", "| kell | | — |"), "room kell owns no folder"),
            (FAKE_TABLE.replace("| clips | `clips/` | kell |", "| clips | `clips/` | kell, tools |"),
             "circle: clips -> tools -> clips"),
        ]
        for table, fragment in cases:
            with self.subTest(fragment=fragment):
                with self.assertRaises(TableError) as caught:
                    self.check(table=table)
                self.assertIn(fragment, str(caught.exception))

    def test_graph_counts_arrows_and_marks_the_forbidden_and_unused(self):
        with tempfile.TemporaryDirectory() as base:
            _make_tree(base, {"clips/src/Up.cpp": '#include "formats/Model.h"\n'})
            lines = graph(base, load_table(base))
        self.assertIn("formats -> translator  1", lines)
        self.assertIn("translator -> maya-api  2", lines)
        self.assertIn("clips -> formats  1   NOT IN THE TABLE", lines)
        self.assertIn("tests -> kell  0   in the table, used by no include", lines)


def self_test():
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(SelfTest)
    result = unittest.TextTestRunner(stream=sys.stdout, verbosity=2).run(suite)
    return 0 if result.wasSuccessful() else 1


def main(argv):
    parser = argparse.ArgumentParser(description="Checks the include arrows between rooms.")
    parser.add_argument("--root", default=os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                        help="repository to check (default: this script's)")
    mode = parser.add_mutually_exclusive_group()
    mode.add_argument("--graph", action="store_true", help="print the room-to-room arrows with counts")
    mode.add_argument("--self-test", action="store_true", help="test this script on made-up trees")
    args = parser.parse_args(argv)
    if args.self_test:
        return self_test()
    try:
        table = load_table(args.root)
    except TableError as e:
        print(f"check-includes: {TABLE_DOC}: {e}", file=sys.stderr)
        return 2
    if args.graph:
        print("\n".join(graph(args.root, table)))
        return 0
    found = problems(args.root, table)
    for line in found:
        print(line)
    if found:
        print(f"check-includes: {len(found)} include(s) the table in {TABLE_DOC} does not allow", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
