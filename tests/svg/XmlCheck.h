// Reads an SVG back with a real XML parser (python3's), so the tests check
// well-formedness against something other than the writer itself.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace svgtest {

namespace fs = std::filesystem;

inline bool havePython() { return std::system("python3 -c '' >/dev/null 2>&1") == 0; }

struct Parsed {
    bool ok = false;
    std::string error;  // the parser's complaint when not ok
    std::string texts;  // every element's text, one per line, in document order
};

// Parses svg; the text of each element comes back on a line of its own, with
// line breaks inside a text shown as \n.
inline Parsed parseXml(const std::string& svg) {
    static int serial = 0;
    fs::path dir = fs::temp_directory_path() / ("qmf_svg_" + std::to_string(::getpid()) + "_" + std::to_string(serial++));
    fs::create_directories(dir);
    fs::path in = dir / "in.svg", out = dir / "out.txt";
    std::ofstream(in, std::ios::binary) << svg;
    std::string script =
        "import sys, xml.etree.ElementTree as ET\n"
        "root = ET.parse(sys.argv[1]).getroot()\n"
        "assert root.tag == '{http://www.w3.org/2000/svg}svg', root.tag\n"
        "with open(sys.argv[2], 'w', encoding='utf-8') as f:\n"
        "    for e in root.iter():\n"
        "        if e.text and e.text.strip(): f.write(e.text.replace('\\n', '\\\\n') + '\\n')\n";
    fs::path py = dir / "check.py";
    std::ofstream(py) << script;
    std::string cmd = "python3 '" + py.string() + "' '" + in.string() + "' '" + out.string() + "' 2>'" +
                      (dir / "err").string() + "'";
    Parsed r;
    r.ok = std::system(cmd.c_str()) == 0;
    std::ostringstream s;
    s << std::ifstream(r.ok ? out : dir / "err", std::ios::binary).rdbuf();
    (r.ok ? r.texts : r.error) = s.str();
    fs::remove_all(dir);
    return r;
}

inline std::size_t count(const std::string& hay, const std::string& needle) {
    std::size_t n = 0;
    for (std::size_t at = hay.find(needle); at != std::string::npos; at = hay.find(needle, at + needle.size())) ++n;
    return n;
}

}  // namespace svgtest

#define EXPECT_WELL_FORMED(svgText)                                                  \
    do {                                                                             \
        if (!svgtest::havePython()) GTEST_SKIP() << "python3 is missing: cannot parse the SVG"; \
        svgtest::Parsed parsed_ = svgtest::parseXml(svgText);                        \
        EXPECT_TRUE(parsed_.ok) << parsed_.error;                                    \
    } while (0)
