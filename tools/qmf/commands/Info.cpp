// qmf info: what a Movantis file holds, as text or JSON.
#include "Args.h"
#include "clips/Clip.h"

#include <iostream>

namespace qmf {

namespace {

int cmdInfo(int argc, char** argv) {
    Args a = parseArgs("info", argc, argv, {{"--json", false}});
    if (a.help) {
        std::cout << kInfoCommand.help;
        return 0;
    }
    needPositional("info", a, 1);
    requireInput(a.positional[0]);
    if (!a.has("--json")) {
        qmf::describeClip(a.positional[0], std::cout);
        return 0;
    }
    qmf::Json clip = qmf::dumpClip(a.positional[0]);
    std::string text;
    try {
        text = clip.dump(2);
    } catch (const qmf::Json::exception&) {
        throw CommandError(a.positional[0] + ": a name in the file is not UTF-8 and cannot be written as JSON");
    }
    std::cout << text << "\n";
    return 0;
}

}  // namespace

const Command kInfoCommand = {
    "info",
    "usage: qmf info FILE.qmf [--json]\n"
    "\n"
    "Shows what a Movantis file holds, read through the animation library: the\n"
    "skeleton tree with offsets, orientations and body volumes, the frame rate and\n"
    "frame count, and the keys per channel and joint.\n"
    "\n"
    "  --json   print every value of the file as JSON (see docs/info-json.md);\n"
    "           qmf pack turns it back into the same file\n",
    cmdInfo};

}  // namespace qmf
