// qmf draw: the skeleton of a clip, scene or BVH file at one frame as an SVG.
#include "Pictures.h"
#include "clips/Printable.h"

#include <iostream>

namespace qmf {

namespace {

svg::View viewOption(const std::string& text) {
    if (text == "front") return svg::View::Front;
    if (text == "side") return svg::View::Side;
    if (text == "top") return svg::View::Top;
    throw CommandError("draw: --view is front, side or top, not '" + text + "'");
}

int cmdDraw(int argc, char** argv) {
    std::vector<Option> options = pictureOptions();
    options.push_back({"--frame", true});
    options.push_back({"--view", true});
    options.push_back({"--up", true});
    Args a = parseArgs("draw", argc, argv, options);
    if (a.help) {
        std::cout << kDrawCommand.help;
        return 0;
    }
    needPositional("draw", a, 1);
    const std::string& in = a.positional[0];
    const std::string out = a.value("-o");
    if (out.empty()) throw CommandError("draw: -o SKELETON.svg is needed");
    const uint32_t frame = a.has("--frame") ? frameOption("draw", a.value("--frame")) : 0;
    const svg::View view = a.has("--view") ? viewOption(a.value("--view")) : svg::View::Front;
    requireInput(in);
    const fileio::Output target = requireOutput(out, {in});
    // Only the frame drawn is read: one frame of a long take draws at once.
    const motion::Motion m = loadForPicture("draw", a, in, frame);
    writePicture(target, svg::drawSkeleton(poseAt(m, 0), view));
    std::cout << "wrote " << printable(out) << ": " << m.joints.size() << " joint"
              << (m.joints.size() == 1 ? "" : "s") << " at frame " << frame << "\n";
    return 0;
}

}  // namespace

const Command kDrawCommand = {
    "draw",
    "usage: qmf draw FILE -o SKELETON.svg [--frame N] [--view front|side|top]\n"
    "                [--frames A:B] [--step N] [--plugin PATH] [--unit U] [--up y|z]\n"
    "\n"
    "Draws the skeleton of FILE (a Movantis clip, a Maya ASCII scene or a BVH file)\n"
    "at one frame as an SVG picture: bones as lines, joints as dots with their\n"
    "names, over the ground with the scene's axes and a scale bar. Names that would\n"
    "cover others are left out; every dot shows its name on hover.\n"
    "\n"
    "  -o SKELETON.svg  the picture (replaced only on success)\n"
    "  --frame N        the frame, counted from 0 as in qmf view (default 0)\n"
    "  --view V         front (default), side or top, as Maya's cameras see it\n"
    "  --frames A:B     only frames A to B of FILE (whole frames from 0 of a clip or\n"
    "                   capture; a scene's frames within its playback range)\n"
    "  --step N         every Nth frame from A (default 1)\n"
    "  --unit U         BVH lengths are in U: cm (default), mm, m, in or ft\n"
    "  --up y|z         the axis drawn vertical (default y; BVH files do not say,\n"
    "                   and many captures are recorded Z-up)\n"
    "  --plugin PATH    translator module, for BVH input (default: beside this program)\n",
    cmdDraw};

}  // namespace qmf
