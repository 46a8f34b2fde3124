// qmf view: a clip, scene or BVH file as one self-contained HTML page that
// plays the skeleton, or the world positions the page must agree with.
#include "Args.h"
#include "clips/Printable.h"
#include "formats/Bvh.h"
#include "Pictures.h"
#include "ViewPage.h"

#include "motion/Motion.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace qmf {

namespace {

void printPositions(const motion::Motion& m, uint32_t frame) {
    if (frame >= m.frames)
        throw CommandError("view: frame " + std::to_string(frame) + " is past the last frame (" +
                           std::to_string(m.frames - 1) + ")");
    const auto p = motion::worldPositions(m, frame);
    std::cout << "# frame " << frame << " of " << m.frames << "; joint index, world x y z (cm), name\n";
    char buf[96];
    for (std::size_t j = 0; j < p.size(); ++j) {
        std::snprintf(buf, sizeof buf, "%zu %.9g %.9g %.9g ", j, p[j][0], p[j][1], p[j][2]);
        std::cout << buf << printable(m.joints[j].name) << "\n";
    }
}

motion::Motion loadOne(const std::string& in, const motion::LoadOptions& options, char up) {
    motion::Motion m;
    try {
        m = motion::loadMotion(in, options, std::cerr);
    } catch (const motion::MotionError& e) {
        throw CommandError(e.what());
    }
    settleUp(m, up, std::cerr);
    return m;
}

// qmf view A B -o PAGE.html: two motions on one page, to compare them.
int viewTwo(const Args& a) {
    const std::string out = a.value("-o");
    if (out.empty()) throw CommandError("view: -o PAGE.html is needed to compare two files");
    if (a.has("--frame")) throw CommandError("view: --frame goes with --positions");
    const motion::LoadOptions options = readingOptions("view", a);
    const char up = a.has("--up") ? upOption("view", a.value("--up")) : 0;
    for (const std::string& in : a.positional) requireInput(in);
    const fileio::Output target = requireOutput(out, a.positional);
    const motion::Motion first = loadOne(a.positional[0], options, up), second = loadOne(a.positional[1], options, up);
    try {
        fileio::TempFile tmp(target);
        tmp.write(viewPage(first, &second));
        tmp.commit();
    } catch (const fileio::Error& e) {
        throw CommandError(e.what());
    }
    std::cout << "wrote " << out << ": " << first.joints.size() << " and " << second.joints.size() << " joints, "
              << first.frames << " and " << second.frames << " frames\n";
    return 0;
}

int cmdView(int argc, char** argv) {
    std::vector<Option> allowed = pictureOptions();
    for (const char* flag : {"--positions", "--frame", "--up"}) allowed.push_back({flag, flag != std::string("--positions")});
    Args a = parseArgs("view", argc, argv, allowed);
    if (a.help) {
        std::cout << kViewCommand.help;
        return 0;
    }
    if (a.positional.size() == 2 && !a.has("--positions")) return viewTwo(a);
    needPositional("view", a, 1);
    const std::string& in = a.positional[0];
    const bool positions = a.has("--positions");
    const std::string out = a.value("-o");
    if (positions == !out.empty()) throw CommandError("view: give either -o PAGE.html or --positions");
    if (a.has("--frame") && !positions) throw CommandError("view: --frame goes with --positions");
    const uint32_t frame = a.has("--frame") ? frameOption("view", a.value("--frame")) : 0;
    const motion::LoadOptions options = readingOptions("view", a);
    const char up = a.has("--up") ? upOption("view", a.value("--up")) : 0;

    fileio::Output target;
    if (!positions) target = requireOutput(out, {in});
    // Positions are the same whichever way is up: nothing to look at or say.
    const motion::Motion m = loadOne(in, options, positions && !up ? 'y' : up);
    if (positions) {
        printPositions(m, frame);
        return 0;
    }
    try {
        fileio::TempFile tmp(target);
        tmp.write(viewPage(m));
        tmp.commit();
    } catch (const fileio::Error& e) {
        throw CommandError(e.what());
    }
    std::cout << "wrote " << out << ": " << m.joints.size() << " joint" << (m.joints.size() == 1 ? "" : "s") << ", "
              << m.frames << " frame" << (m.frames == 1 ? "" : "s") << "\n";
    return 0;
}

}  // namespace

const Command kViewCommand = {
    "view",
    "usage: qmf view FILE -o PAGE.html [--frames A:B] [--step N] [--plugin PATH] [--unit U]\n"
    "                [--take T] [--rate R] [--up auto|y|z]\n"
    "       qmf view A B -o PAGE.html [same options]\n"
    "       qmf view --positions FILE [--frame N] [--frames A:B] [--step N]\n"
    "\n"
    "FILE is a Movantis clip, a Maya ASCII scene, a BVH file or an FBX, glTF or\n"
    "Collada take (and the other files qmf convert reads). The page is one\n"
    "self-contained HTML file (no network, no external script, style or font)\n"
    "that plays the skeleton in 3D: drag to orbit, wheel to zoom, front, side and\n"
    "top views, a timeline with play/pause (space) and single steps (left and\n"
    "right arrows), joint names on hover, and a click on a joint charts its\n"
    "rotate channels (and the root's translate channels) over the whole motion.\n"
    "\n"
    "A scene shows its joints at the current time and, when it has animation\n"
    "curves, every frame of its playback range. Frames are counted from 0.\n"
    "\n"
    "With two files (a retarget and its source, say) the page shows both on one\n"
    "timeline, matched by time, under one camera: the second overlaid on the\n"
    "first or beside it (a button switches).\n"
    "\n"
    "  -o PAGE.html    write the page (replaced only on success)\n"
    "  --positions     print each joint's world position (cm, scene space) instead\n"
    "  --frame N       the frame --positions prints (default 0)\n"
    "  --frames A:B    only frames A to B of FILE (whole frames from 0 of a clip or\n"
    "                  capture; a scene's frames within its playback range); a motion\n"
    "                  too long for one page shows the longest run from A that fits\n"
    "  --step N        every Nth frame from A (default 1)\n"
    "  --unit U        BVH lengths are in U: cm (default), mm, dm, m, in or ft\n"
    "  --up auto|y|z   the axis shown vertical (default auto: a scene's Y, else what\n"
    "                  the rest pose says, feet to head; BVH files do not say, and\n"
    "                  many captures are recorded Z up)\n"
    "  --take NAME|N   FBX, glTF, Collada: the take shown (default: the first with keys)\n"
    "  --rate R        FBX, glTF, Collada: keys off a grid sampled at R fps\n"
    "  --plugin PATH   translator module, for BVH input (default: beside this program)\n",
    cmdView};

}  // namespace qmf
