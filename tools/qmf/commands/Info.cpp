// qmf info: what a Movantis file holds, as text or JSON.
#include "Args.h"
#include "clips/Clip.h"
#include "clips/Printable.h"
#include "formats/Error.h"
#include "formats/Routes.h"
#include "formats/assimp/AssimpFormat.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>

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

// A BVH capture or a Maya ASCII scene: the skeleton and frames qmf reads
// from it, as convert and import would.
void describeMotion(formats::Format format, const std::string& path) {
    static const char* const kOrders[] = {"xyz", "yzx", "zxy", "xzy", "yxz", "zyx"};
    std::unique_ptr<formats::Reader> reader;
    try {
        reader = formats::frameReader(format, path, formats::ConvertOptions{});
    } catch (const FormatError& e) {
        throw CommandError(e.what());
    }
    const formats::Skeleton& s = reader->skeleton();
    std::cout << printable(path) << ": " << formats::row(format).description << "\n";
    std::size_t ends = 0;
    for (const formats::Joint& j : s.joints) ends += j.endSite;
    std::cout << "joints: " << s.joints.size() - ends;
    if (ends) std::cout << ", and " << ends << " end site" << (ends == 1 ? "" : "s");
    std::cout << "\n";
    char line[128];
    const double rate = s.frameTime > 0 ? 1 / s.frameTime : 0;
    std::snprintf(line, sizeof line, "frames: %u at %.7g fps (%.7g s a frame), %.3f s\n", s.frames, rate, s.frameTime,
                  s.frames * s.frameTime);
    std::cout << line << "lengths in: " << s.lengthUnit << "\n";
    // Parents come first, so each depth is known when its joint is reached.
    std::vector<std::size_t> depth(s.joints.size(), 0);
    for (std::size_t i = 0; i < s.joints.size(); ++i) {
        const formats::Joint& j = s.joints[i];
        if (j.parent >= 0) depth[i] = depth[static_cast<std::size_t>(j.parent)] + 1;
        // Deep chains are shown at a bounded indent, with their depth.
        const std::size_t indent = std::min<std::size_t>(depth[i], 24);
        std::cout << std::string(2 + 2 * indent, ' ') << printable(j.name);
        if (depth[i] > indent) std::cout << " (depth " << depth[i] << ")";
        if (j.endSite) std::cout << "  end site";
        if (j.position) std::cout << "  position";
        if (j.rotation && format == formats::Format::Bvh) {
            // The file lists the channels in the reverse of Maya's rotate order.
            std::string listed = kOrders[j.rotateOrder >= 0 && j.rotateOrder < 6 ? j.rotateOrder : 0];
            std::reverse(listed.begin(), listed.end());
            for (char& c : listed) c = static_cast<char>(c - 'a' + 'A');
            std::cout << "  rotation " << listed;
        } else if (j.rotation) {
            std::cout << "  rotation";
        }
        std::cout << "\n";
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
    if (formats::formatOfContent(a.positional[0], format) &&
        (format == formats::Format::Bvh || format == formats::Format::MayaAscii)) {
        if (a.has("--json")) throw CommandError("info: --json describes Movantis files; qmf convert makes one of " + a.positional[0]);
        describeMotion(format, a.positional[0]);
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
    "       qmf info FILE.bvh|.ma|.fbx|.glb|.gltf|.dae\n"
    "\n"
    "Shows what a Movantis file holds, read through the animation library: the\n"
    "skeleton tree with offsets, orientations and body volumes, the frame rate and\n"
    "frame count, and the keys per channel and joint.\n"
    "\n"
    "Of a BVH capture or a Maya ASCII scene: the joints qmf reads from it as a\n"
    "tree with their channels, the frames, rate and length unit, as convert reads them.\n"
    "\n"
    "Of an FBX, glTF or Collada file: the skeleton qmf reads from it, the unit and\n"
    "axes it converts, and its takes by number and name, as --take chooses them.\n"
    "\n"
    "  --json   print every value of the file as JSON (see docs/info-json.md);\n"
    "           qmf pack turns it back into the same file\n",
    cmdInfo};

}  // namespace qmf
