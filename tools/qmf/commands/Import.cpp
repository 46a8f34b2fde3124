// qmf import: a Movantis clip keyed onto a scene's joints through the
// translator's reader, and the animated scene written back.
#include "Args.h"
#include "formats/Error.h"
#include "formats/ImportRun.h"
#include "formats/Units.h"
#include "formats/UpAxis.h"
#include "qmfhost/MaWriter.h"

#include <iostream>

namespace qmf {

namespace {

int cmdImport(int argc, char** argv) {
    Args a = parseArgs("import", argc, argv,
                       {{"--plugin", true}, {"-o", true}, {"--replace", false}, {"--map", true},
                        {"--strip-namespaces", false}, {"--maya-names", false}, {"--start", true},
                        {"--resample", false}, {"--take", true}, {"--rate", true}, {"--unit", true}, {"--up", true}});
    if (a.help) {
        std::cout << kImportCommand.help;
        return 0;
    }
    needPositional("import", a, 2);
    const std::string& clip = a.positional[0];
    const std::string& scenePath = a.positional[1];
    if (a.value("-o").empty()) throw CommandError("import: -o OUT.ma is required (the input scene is never replaced otherwise)");
    RenameOptions rename;
    rename.mapFile = a.value("--map");
    rename.stripNamespaces = a.has("--strip-namespaces");
    rename.mayaNames = a.has("--maya-names");
    if (a.has("--map") && rename.mapFile.empty()) throw CommandError("import: --map needs a file");
    formats::ConvertOptions options;
    options.plugin = a.value("--plugin");
    options.rename = rename;
    options.replace = a.has("--replace");
    options.start = a.value("--start");
    options.resample = a.has("--resample");
    // For a capture or 3D take, read into a private clip first.
    options.take = a.value("--take");
    if (a.has("--rate")) options.rate = rateOption("import", a.value("--rate"));
    try {
        if (a.has("--unit")) {
            const formats::LengthUnit& u = formats::lengthUnit(a.value("--unit"));
            options.unitToCm = u.cm;
            options.unitName = u.name;
        }
        if (a.has("--up")) options.up = formats::parseUp(a.value("--up"));
    } catch (const FormatError& e) {
        throw CommandError(std::string("import: ") + e.what());
    }
    if (a.has("--start")) {
        try {
            formats::startFrame(options.start);
        } catch (const FormatError& e) {
            throw CommandError(std::string("import: ") + e.what());
        }
    }
    const formats::Imported done = formats::importClip(clip, scenePath, a.value("-o"), options, std::cerr);
    const double fps = done.framesPerSecond;
    std::cout << "imported " << clip << " onto " << scenePath << ": " << done.curves << " curves, " << done.keys
              << " keys, " << done.replaced << " old curve" << (done.replaced == 1 ? "" : "s") << " replaced";
    std::cout << "; playback " << qmfhost::ma::formatFrames(done.playbackStart, fps) << " to "
              << qmfhost::ma::formatFrames(done.playbackEnd, fps) << " (" << done.timeName
              << " frames); wrote " << a.value("-o") << "\n";
    return 0;
}

}  // namespace

const Command kImportCommand = {
    "import",
    "usage: qmf import CLIP.qmf SCENE.ma -o OUT.ma [--replace] [--map FILE]\n"
    "                  [--strip-namespaces] [--maya-names] [--start F] [--resample] [--plugin PATH]\n"
    "       qmf import MOTION SCENE.ma -o OUT.ma [the options above] [--take T] [--rate R]\n"
    "                  [--unit U] [--up auto|y|z]\n"
    "\n"
    "Reads a Maya ASCII scene into the headless host, calls the qmf translator's\n"
    "reader on CLIP.qmf (translate curves on the first joint, rotate curves on every\n"
    "joint with joint children, playback end, linear tangents) and writes the\n"
    "animated scene to OUT.ma, atomically. Nothing is written when the translator\n"
    "fails. The input scene is replaced only when -o names it.\n"
    "\n"
    "Any other motion file 'qmf convert' reads (a BVH capture, FBX, glTF, Collada)\n"
    "is first converted to a private clip as 'qmf convert MOTION CLIP.qmf' makes it,\n"
    "with --take, --rate, --unit and --up as convert takes them.\n"
    "\n"
    "The translator matches joints by exact name. The options below rename the\n"
    "clip's joints on a private copy (the clip itself is never changed). When\n"
    "the clip lacks a joint the import needs, the scene's joints it does not\n"
    "name are listed, closest names first.\n"
    "\n"
    "  -o, --output OUT.ma  the scene to write (required)\n"
    "  --replace            first delete the animation curves that already drive the\n"
    "                       channels the import will key; other drivers (expressions,\n"
    "                       constraints...) stay, and the import then fails naming them\n"
    "  --map FILE           rename the clip's joints first: one 'clipName sceneName'\n"
    "                       pair per line, '#' starts a comment, \"quotes\" around a\n"
    "                       name with blanks; a name the clip or the scene lacks, or\n"
    "                       two joints left with one name, is refused\n"
    "  --strip-namespaces   match the clip's other joints to the scene's by their names\n"
    "                       without namespaces (mixamorig:Hips finds Hips, and back)\n"
    "  --maya-names         make the clip's other joint names valid Maya names first\n"
    "                       (as convert does: pelvis.R becomes pelvis_R)\n"
    "  --start F            the scene frame where the clip's frame 0 lands: every key\n"
    "                       and the playback end move by F (default: where the\n"
    "                       translator keys them, frame 0 at time 0)\n"
    "  --resample           keys on the scene's whole frames: a clip of another rate is\n"
    "                       resampled at the scene's on a private copy first (slerp for\n"
    "                       orientations, linear for translation; a frame that lands on\n"
    "                       a clip frame is copied exactly)\n"
    "  --plugin PATH        translator module to load (default: ../plug-ins/qmfTranslator.so\n"
    "                       beside this program)\n",
    cmdImport};

}  // namespace qmf
