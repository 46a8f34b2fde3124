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
    if (a.positional.size() != 2) needPositional("draw", a, 1);
    const std::string out = a.value("-o");
    if (out.empty()) throw CommandError("draw: -o SKELETON.svg is needed");
    const uint32_t frame = a.has("--frame") ? frameOption("draw", a.value("--frame")) : 0;
    const svg::View view = a.has("--view") ? viewOption(a.value("--view")) : svg::View::Front;
    for (const std::string& in : a.positional) requireInput(in);
    const fileio::Output target = requireOutput(out, a.positional);
    // Only the frame drawn is read: one frame of a long take draws at once.
    // A second file is drawn in the same picture, at the same frame.
    svg::Pose pose;
    std::size_t joints = 0;
    for (const std::string& in : a.positional) {
        const motion::Motion m = loadForPicture("draw", a, in, frame);
        const svg::Pose one = poseAt(m, 0);
        const int base = static_cast<int>(pose.names.size());
        for (std::size_t j = 0; j < one.names.size(); ++j) {
            pose.names.push_back(one.names[j]);
            pose.parents.push_back(one.parents[j] < 0 ? -1 : one.parents[j] + base);
            pose.positions.push_back(one.positions[j]);
        }
        pose.upAxis = one.upAxis;
        pose.units = one.units;
        pose.title += (pose.title.empty() ? "" : " and ") + one.title;
        joints += m.joints.size();
    }
    writePicture(target, svg::drawSkeleton(pose, view));
    std::cout << "wrote " << printable(out) << ": " << joints << " joint" << (joints == 1 ? "" : "s") << " at frame "
              << frame << "\n";
    return 0;
}

}  // namespace

const Command kDrawCommand = {
    "draw",
    "usage: qmf draw FILE -o SKELETON.svg [--frame N] [--view front|side|top]\n"
    "                [--frames A:B] [--step N] [--plugin PATH] [--unit U] [--take T] [--rate R]\n"
    "                [--up auto|y|z]\n"
    "       qmf draw A B -o SKELETON.svg [same options]\n"
    "\n"
    "Draws the skeleton of FILE (a Movantis clip, a Maya ASCII scene or a BVH file)\n"
    "at one frame as an SVG picture: bones as lines, joints as dots with their\n"
    "names, over the ground with the scene's axes and a scale bar. Names that would\n"
    "cover others are left out; every dot shows its name on hover. A second file\n"
    "(a retarget and its source, say) is drawn in the same picture, at the same frame.\n"
    "\n"
    "  -o SKELETON.svg  the picture (replaced only on success)\n"
    "  --frame N        the frame, counted from 0 as in qmf view (default 0)\n"
    "  --view V         front (default), side or top, as Maya's cameras see it\n"
    "  --frames A:B     only frames A to B of FILE (whole frames from 0 of a clip or\n"
    "                   capture; a scene's frames within its playback range)\n"
    "  --step N         every Nth frame from A (default 1)\n"
    "  --unit U         BVH lengths are in U: cm (default), mm, dm, m, in or ft\n"
    "  --up auto|y|z    the axis drawn vertical (default auto: a scene's Y, else what\n"
    "                   the rest pose says, feet to head; BVH files do not say, and\n"
    "                   many captures are recorded Z up)\n"
    "  --take NAME|N    FBX, glTF, Collada: the take shown (default: the first with keys)\n"
    "  --rate R         FBX, glTF, Collada: keys off a grid sampled at R fps\n"
    "  --plugin PATH    translator module, for BVH input (default: beside this program)\n",
    cmdDraw};

}  // namespace qmf
