// qmf pack: a Movantis file from the JSON form of qmf info.
#include "Args.h"
#include "clips/Clip.h"
#include "clips/Printable.h"

#include <cstdint>
#include <iostream>

namespace qmf {

namespace {

int cmdPack(int argc, char** argv) {
    Args a = parseArgs("pack", argc, argv, {});
    if (a.help) {
        std::cout << kPackCommand.help;
        return 0;
    }
    needPositional("pack", a, 2);
    const std::string& in = a.positional[0];
    const std::string& out = a.positional[1];
    requireInput(in);
    requireOutput(out, {in});
    // A clip's JSON is far smaller than this; refuse before reading it all in.
    constexpr std::uintmax_t kMaxJsonBytes = std::uintmax_t(1) << 30;
    std::string text;
    try {
        fileio::InputFile f(in);
        if (f.size() > kMaxJsonBytes) throw CommandError(in + ": larger than the limit of 1 GiB for a JSON clip");
        text = f.readAll(kMaxJsonBytes);
    } catch (const fileio::Error& e) {
        throw CommandError(e.what());
    }
    try {
        qmf::packClip(text, out);
    } catch (const ClipError& e) {
        throw CommandError(in + ": " + e.what());
    }
    std::cout << "packed " << qmf::printable(in) << " into " << qmf::printable(out) << "\n";
    return 0;
}

}  // namespace

const Command kPackCommand = {
    "pack",
    "usage: qmf pack FILE.json OUT.qmf\n"
    "\n"
    "Writes a Movantis file from the JSON form printed by 'qmf info --json'\n"
    "(see docs/info-json.md), through the animation library's authoring interface.\n"
    "OUT.qmf is replaced only on success.\n",
    cmdPack};

}  // namespace qmf
