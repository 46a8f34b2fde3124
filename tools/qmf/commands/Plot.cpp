// qmf plot: the rotate and translate channels of a clip, scene or BVH file
// as one small chart per joint in an SVG.
#include "Pictures.h"
#include "clips/Printable.h"

#include <iostream>

namespace qmf {

namespace {

int cmdPlot(int argc, char** argv) {
    std::vector<Option> options = pictureOptions();
    options.push_back({"--joint", true});
    Args a = parseArgs("plot", argc, argv, options);
    if (a.help) {
        std::cout << kPlotCommand.help;
        return 0;
    }
    needPositional("plot", a, 1);
    const std::string& in = a.positional[0];
    const std::string out = a.value("-o");
    if (out.empty()) throw CommandError("plot: -o CURVES.svg is needed");
    requireInput(in);
    const fileio::Output target = requireOutput(out, {in});
    const motion::Motion m = loadForPicture("plot", a, in);
    const svg::ChartSet charts = chartsOf("plot", m, a.all("--joint"));
    writePicture(target, svg::plotCharts(charts));
    std::cout << "wrote " << printable(out) << ": " << charts.charts.size() << " chart"
              << (charts.charts.size() == 1 ? "" : "s") << " over " << m.frames << " frame"
              << (m.frames == 1 ? "" : "s") << "\n";
    return 0;
}

}  // namespace

const Command kPlotCommand = {
    "plot",
    "usage: qmf plot FILE -o CURVES.svg [--joint NAME]... [--frames A:B] [--step N]\n"
    "                [--plugin PATH] [--unit U] [--take T] [--rate R]\n"
    "\n"
    "Charts the channels of FILE (a Movantis clip, a Maya ASCII scene or a BVH\n"
    "file) over all its frames as an SVG picture: one small chart per joint with\n"
    "its rotateX, rotateY and rotateZ in degrees as import keys them, and one more\n"
    "for the root's translateX, translateY and translateZ in centimetres. Frames\n"
    "are counted from 0 as in qmf view. Long motions are thinned to the lowest and\n"
    "highest value of each stretch of frames, at most 800 points a line.\n"
    "\n"
    "  -o CURVES.svg    the picture (replaced only on success)\n"
    "  --joint NAME     chart this joint (again for more, in that order); by default\n"
    "                   every joint with children and the translated root\n"
    "  --frames A:B     only frames A to B of FILE (whole frames from 0 of a clip or\n"
    "                   capture; a scene's frames within its playback range)\n"
    "  --step N         every Nth frame from A (default 1)\n"
    "  --unit U         BVH lengths are in U: cm (default), mm, dm, m, in or ft\n"

    "  --take NAME|N    FBX, glTF, Collada: the take shown (default: the first with keys)\n"
    "  --rate R         FBX, glTF, Collada: keys off a grid sampled at R fps\n"
    "  --plugin PATH    translator module, for BVH input (default: beside this program)\n",
    cmdPlot};

}  // namespace qmf
