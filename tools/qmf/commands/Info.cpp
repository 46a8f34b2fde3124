// qmf info: what a Movantis file holds, as text or JSON.
#include "Args.h"
#include "clips/Clip.h"
#include "clips/Printable.h"
#include "formats/Error.h"
#include "formats/assimp/AssimpFormat.h"

#include <cstdio>
#include <iostream>

namespace qmf {

namespace {

// An FBX, glTF or Collada file: its skeleton as qmf reads it and its takes.
void describeExchange(formats::Format format, const std::string& path) {
    formats::FileSummary s;
    try {
        s = formats::describeAssimp(format, path, formats::ConvertOptions{});
    } catch (const FormatError& e) {
        throw CommandError(e.what());
    }
    std::cout << printable(path) << ": " << formats::row(format).description << "\n";
    if (!s.notes.empty()) {
        std::cout << "read as: ";
        for (std::size_t i = 0; i < s.notes.size(); ++i) std::cout << (i ? ", " : "") << s.notes[i];
        std::cout << "\n";
    }
    std::cout << "joints: " << s.joints.size() << " (root " << printable(s.joints.front()) << ")\n";
    std::cout << "takes: " << s.takes.size() << (s.takes.empty() ? "" : " (--take NAME or N)") << "\n";
    for (std::size_t i = 0; i < s.takes.size(); ++i) {
        const formats::TakeSummary& t = s.takes[i];
        char line[96];
        if (t.frames == 0) std::snprintf(line, sizeof line, "no keys");
        else std::snprintf(line, sizeof line, "%u frame%s at %.6g fps, %.3f s", t.frames, t.frames == 1 ? "" : "s", t.rate, t.seconds);
        std::cout << "  " << i + 1 << "  " << printable(t.name) << ": " << line << "\n";
    }
}

int cmdInfo(int argc, char** argv) {
    Args a = parseArgs("info", argc, argv, {{"--json", false}});
    if (a.help) {
        std::cout << kInfoCommand.help;
        return 0;
    }
    needPositional("info", a, 1);
    requireInput(a.positional[0]);
    formats::Format format = formats::Format::Clip;
    if (formats::formatOfContent(a.positional[0], format) &&
        (format == formats::Format::Fbx || format == formats::Format::Gltf || format == formats::Format::Collada ||
         format == formats::Format::Assimp)) {
        if (a.has("--json")) throw CommandError("info: --json describes Movantis files; qmf convert makes one of " + a.positional[0]);
        describeExchange(format, a.positional[0]);
        return 0;
    }
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
    "       qmf info FILE.fbx|.glb|.gltf|.dae\n"
    "\n"
    "Shows what a Movantis file holds, read through the animation library: the\n"
    "skeleton tree with offsets, orientations and body volumes, the frame rate and\n"
    "frame count, and the keys per channel and joint.\n"
    "\n"
    "Of an FBX, glTF or Collada file: the skeleton qmf reads from it, the unit and\n"
    "axes it converts, and its takes by number and name, as --take chooses them.\n"
    "\n"
    "  --json   print every value of the file as JSON (see docs/info-json.md);\n"
    "           qmf pack turns it back into the same file\n",
    cmdInfo};

}  // namespace qmf
