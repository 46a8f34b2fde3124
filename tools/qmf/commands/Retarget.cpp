// qmf retarget: motion from any file qmf reads onto a rig of other
// proportions and rest pose (the retarget library does the work).
#include "Pictures.h"
#include "clips/Printable.h"
#include "retarget/Retarget.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iostream>

namespace qmf {

namespace {

double scaleOption(const std::string& text) {
    if (text == "auto") return NAN;
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const double k = std::strtod(begin, &end);
    if (text.empty() || end != begin + text.size() || errno == ERANGE || !std::isfinite(k) || !(k > 0))
        throw CommandError("retarget: --scale is auto or a number above 0, not '" + text + "'");
    return k;
}

int cmdRetarget(int argc, char** argv) {
    const std::vector<Option> allowed = {{"-o", true},       {"--map", true},   {"--scale", true},
                                         {"--frames", true}, {"--step", true},  {"--source-rest", true},
                                         {"--time", true},   {"--unit", true},  {"--plugin", true},
                                         {"--up", true},     {"--dry-run", false}};
    Args a = parseArgs("retarget", argc, argv, allowed);
    if (a.help) {
        std::cout << kRetargetCommand.help;
        return 0;
    }
    needPositional("retarget", a, 2);
    const std::string& source = a.positional[0];
    const std::string& rig = a.positional[1];
    const bool dryRun = a.has("--dry-run");
    const std::string out = a.value("-o");
    if (out.empty() && !dryRun) throw CommandError("retarget: -o OUT.ma|OUT.qmf|OUT.bvh is needed (or --dry-run)");

    retarget::RetargetOptions o;
    o.read = readingOptions("retarget", a);
    o.read.time = a.value("--time");
    o.mapFile = a.value("--map");
    if (a.has("--up")) o.up = upOption("retarget", a.value("--up"));
    if (a.has("--scale")) {
        const double k = scaleOption(a.value("--scale"));
        if (!std::isnan(k)) o.scale = k;
    }
    if (a.has("--source-rest")) o.sourceRest = frameOption("retarget", a.value("--source-rest"), "--source-rest");

    const retarget::Retargeted r = retarget::retarget(source, rig, out, o, dryRun, std::cerr);
    if (dryRun) {
        retarget::printMatches(r, printable(source), printable(rig), std::cout);
        return 0;
    }
    std::cout << "retargeted " << printable(source) << " onto " << printable(rig) << ": " << r.table.pairs.size()
              << " of " << r.targetNames.size() << " rig joints matched, " << r.written.frames << " frame"
              << (r.written.frames == 1 ? "" : "s") << ", root position " << r.rule.scaleNote << "; wrote "
              << printable(out) << "\n";
    return 0;
}

}  // namespace

const Command kRetargetCommand = {
    "retarget",
    "usage: qmf retarget SOURCE RIG.ma -o OUT.ma|OUT.qmf|OUT.bvh [--map FILE]\n"
    "                    [--scale auto|K] [--frames A:B] [--step N] [--source-rest F]\n"
    "                    [--time T] [--unit U] [--up y|z] [--plugin PATH] [--dry-run]\n"
    "\n"
    "Carries the motion of SOURCE (a Movantis clip, a BVH file or a Maya ASCII\n"
    "scene) onto the skeleton of RIG.ma, whose proportions and rest pose may\n"
    "differ: each matched joint turns in the world as its source joint turns from\n"
    "its own rest, each bone's rest first swung onto the source bone's. Joints are\n"
    "matched by name, then by name without namespaces, then by body part in known\n"
    "humanoid naming schemes (CMU, Mixamo, HumanIK, Blender, MakeHuman, game\n"
    "engines); --map pairs others. The result is a clip made for the rig; for .ma,\n"
    "that clip imported onto the rig by the translator (the rig's own curves on the\n"
    "channels keyed give way). See docs/retarget.md for the rule.\n"
    "\n"
    "  -o OUT           the result (replaced only on success)\n"
    "  --map FILE       'sourceName rigName' pairs, one per line ('#' comments), over\n"
    "                   the matches found\n"
    "  --scale auto|K   the root's position times the ratio of the rigs' hip heights\n"
    "                   at rest (auto, the default, printed) or times K\n"
    "  --frames A:B     only frames A to B of SOURCE; the result's frame i is A + i\n"
    "  --step N         every Nth frame from A (default 1)\n"
    "  --source-rest F  the source's frame F is its rest (a capture that starts in a\n"
    "                   T-pose its hierarchy does not rest in)\n"
    "  --time T         the rig's rest is its pose at frame T (a scene source's too;\n"
    "                   default: the current time)\n"
    "  --unit U         BVH lengths are in U: cm (default), mm, dm, m, in or ft\n"
    "  --up y|z         the source's up axis (default y; BVH files do not say, and\n"
    "                   many captures are recorded Z-up); the rig's is Y\n"
    "  --plugin PATH    translator module (default: beside this program)\n"
    "  --dry-run        print the match table (source joint, rig joint, how matched)\n"
    "                   and the joints left on each side; write nothing\n",
    cmdRetarget};

}  // namespace qmf
