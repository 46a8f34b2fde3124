// qmf convert: between the formats of the table, chosen by the files'
// extensions; the routes themselves are the formats library's.
#include "Args.h"
#include "Batch.h"
#include "clips/Printable.h"
#include "formats/Bvh.h"
#include "formats/ImportRun.h"
#include "formats/Routes.h"
#include "formats/Units.h"
#include "formats/UpAxis.h"

#include <iostream>

namespace qmf {

namespace {

using formats::ConvertOptions;
using formats::Format;

// The options given, as the table of formats names them.
unsigned givenOptions(const Args& a) {
    unsigned given = 0;
    for (const auto& f : formats::kOptionFlags)
        if (a.has(f.flag)) given |= f.bit;
    return given;
}

// The route, refused with the single-file command's one line when qmf has
// none or it does not take an option given.
const formats::Route& routeFor(Format from, Format to, const Args& a) {
    const formats::Route& route = formats::routeFor(from, to);
    formats::checkOptions(route, givenOptions(a));
    return route;
}

Format formatOf(const std::string& path) {
    Format f = Format::Clip;
    if (!formats::formatOfName(path, f))
        throw CommandError("convert: cannot tell the format of " + path + " " + formats::extensionHint());
    return f;
}

// "qmf, ma or bvh": what --to takes, from the table.
std::string writableKeys() {
    std::vector<std::string> keys;
    for (const auto& r : formats::formatTable())
        if (r.convertTo) keys.push_back(r.key);
    std::string s;
    for (std::size_t i = 0; i < keys.size(); ++i) s += (i == 0 ? "" : i + 1 == keys.size() ? " or " : ", ") + keys[i];
    return s;
}

// With --out-dir: every input to the folder, each in a process of its own.
// The target is --to, else the usual one for the input's kind.
int convertBatch(const Args& a) {
    const formats::FormatRow* toRow = nullptr;
    if (a.has("--to")) {
        for (const auto& r : formats::formatTable())
            if (r.convertTo && a.value("--to") == r.key) toRow = &r;
        if (!toRow) throw CommandError("convert: --to must be " + writableKeys() + ", not '" + a.value("--to") + "'");
    }
    BatchPlan plan;
    plan.command = "convert";
    plan.verb = "converted";
    plan.outDir = a.value("--out-dir");
    plan.jobs = parseJobs("convert", a.value("--jobs"));
    for (const std::string& in : a.positional) {
        const Format from = formatOf(in);
        // A capture or a scene becomes a clip, a clip a scene.
        const Format target = toRow ? toRow->id : from == Format::Clip ? Format::MayaAscii : Format::Clip;
        try {
            routeFor(from, target, a);
        } catch (const FormatError& e) {
            throw CommandError(std::string(e.what()) + " (" + in + ")");
        }
        plan.items.push_back({in, batchOutput(plan.outDir, in, formats::row(target).key)});
    }
    if (a.has("--map") && a.value("--map").empty()) throw CommandError("convert: --map needs a file");
    for (const auto& f : formats::kOptionFlags) {
        if (!a.has(f.flag)) continue;
        plan.childOptions.push_back(f.flag);
        if (a.values.count(f.flag)) plan.childOptions.push_back(a.value(f.flag));
    }
    prepareBatch(plan);
    return runBatch(plan);
}

// Values first, so a mistyped unit is caught whatever the files.
ConvertOptions optionsOf(const Args& a) {
    ConvertOptions o;
    if (a.has("--unit")) {
        try {
            const formats::LengthUnit& u = formats::lengthUnit(a.value("--unit"));
            o.unitToCm = u.cm;
            o.unitName = u.name;
        } catch (const FormatError& e) {
            throw CommandError(std::string("convert: ") + e.what());
        }
    }
    if (a.has("--order")) {
        static const char* const kOrders[] = {"xyz", "yzx", "zxy", "xzy", "yxz", "zyx"};
        bool known = false;
        for (const char* order : kOrders) known = known || a.value("--order") == order;
        if (!known)
            throw CommandError("convert: --order must be xyz, yzx, zxy, xzy, yxz or zyx, not '" + a.value("--order") + "'");
        o.order = bvhRotationOrder(a.value("--order"));
    }
    if (a.has("--step")) o.step = stepOption("convert", a.value("--step"));
    if (a.has("--frames")) {
        try {
            formats::parseFrameRange(a.value("--frames"));
        } catch (const FormatError& e) {
            throw CommandError(std::string("convert: ") + e.what());
        }
        o.frames = a.value("--frames");
    }
    o.time = a.value("--time");
    o.root = a.value("--root");
    o.start = a.value("--start");
    if (a.has("--start")) {
        try {
            formats::startFrame(o.start);
        } catch (const FormatError& e) {
            throw CommandError(std::string("convert: ") + e.what());
        }
    }
    o.plugin = a.value("--plugin");
    o.rename.mapFile = a.value("--map");
    o.rename.stripNamespaces = a.has("--strip-namespaces");
    o.rigOnly = a.has("--rig-only");
    o.resample = a.has("--resample");
    if (a.has("--up")) {
        try {
            o.up = formats::parseUp(a.value("--up"));
        } catch (const FormatError& e) {
            throw CommandError(std::string("convert: ") + e.what());
        }
    }
    o.volumes = a.has("--volumes");
    o.take = a.value("--take");
    if (a.has("--take") && o.take.empty()) throw CommandError("convert: --take needs a name or a number");
    if (a.has("--rate")) o.rate = rateOption("convert", a.value("--rate"));
    return o;
}

int cmdConvert(int argc, char** argv) {
    std::vector<Option> allowed;
    for (const auto& f : formats::kOptionFlags) allowed.push_back({f.flag, f.takesValue});
    for (const char* batch : {"--out-dir", "--jobs", "--to"}) allowed.push_back({batch, true});
    Args a = parseArgs("convert", argc, argv, allowed);
    if (a.help) {
        std::cout << kConvertCommand.help;
        return 0;
    }
    const ConvertOptions options = optionsOf(a);
    if (a.has("--out-dir")) return convertBatch(a);
    if (a.has("--jobs") || a.has("--to")) throw CommandError("convert: --jobs and --to need --out-dir");
    needPositional("convert", a, 2);
    const std::string& in = a.positional[0];
    const std::string& out = a.positional[1];
    const Format from = formatOf(in);
    routeFor(from, formatOf(out), a);
    if (a.has("--map") && options.rename.mapFile.empty()) throw CommandError("convert: --map needs a file");
    const formats::Written w = formats::convert(in, out, options, std::cerr);
    std::cout << "converted " << printable(in) << " to " << printable(out) << ": " << w.summary << "\n";
    return 0;
}

}  // namespace

const Command kConvertCommand = {
    "convert",
    "usage: qmf convert IN OUT [options]\n"
    "       qmf convert IN... --out-dir DIR [--to qmf|ma|bvh|glb] [--jobs N] [options]\n"
    "         IN -> OUT: CAPTURE.bvh -> CLIP.qmf, CAPTURE.bvh -> SCENE.ma,\n"
    "                    CLIP.qmf -> SCENE.ma, CLIP.qmf -> CAPTURE.bvh,\n"
    "                    SCENE.ma -> CLIP.qmf, SCENE.ma -> CAPTURE.bvh,\n"
    "                    TAKE.fbx|.glb|.gltf|.dae -> CLIP.qmf, CAPTURE.bvh, SCENE.ma,\n"
    "                    any of these -> MOTION.glb|.gltf\n"
    "\n"
    "Converts between file formats, chosen by the extensions (.bvh BVH motion\n"
    "capture, .qmf Movantis clip, .ma Maya ASCII, .fbx FBX, .glb/.gltf glTF 2.0,\n"
    ".dae Collada). Outputs are written atomically and never over an input.\n"
    "\n"
    "TAKE.fbx|.glb|.gltf|.dae (and the other files the assimp library reads): the\n"
    "skeleton is the nodes the meshes' bones name, with their ancestors up to the\n"
    "first they share (without bones: the animated nodes); the motion is the first\n"
    "take with keys, or --take. Keys on a regular grid are frames at its rate,\n"
    "others are sampled at --rate. Lengths become centimetres and the file's up\n"
    "axis Y, as one line says. The file is parsed in a child process with limits\n"
    "(QMF_READER_MEMORY_MB, QMF_READER_SECONDS), so a file that crashes or hangs\n"
    "the parser fails alone, in one line. 'qmf info FILE' lists the takes. The\n"
    "other files the library reads state no unit (hence --unit): .x .smd .md5mesh\n"
    ".ms3d .b3d .ogex .3ds .ase .iqm .ac .irrmesh .lwo .lws .mdl .md2 .md3.\n"
    "\n"
    "-> MOTION.glb|.gltf: one node per joint, one animation of LINEAR samplers\n"
    "(each joint's rotation, the root's translation), metres and Y up; .gltf holds\n"
    "its data inline. With --volumes, the body volumes (a clip's; for other sources\n"
    "a capsule along each bone) are a mesh skinned to the joints, so any glTF\n"
    "viewer shows a moving figure.\n"
    "\n"
    "CAPTURE.bvh -> CLIP.qmf: the BVH hierarchy becomes the clip's skeleton through\n"
    "the qmf translator's writer (offsets in file units, rest orientation identity,\n"
    "body volumes as export builds them); an End Site becomes a leaf joint named\n"
    "after its parent with _end. Every frame keys the first root's position and\n"
    "every joint's rotation. Position channels a clip cannot hold (non-root joints,\n"
    "later roots) are dropped with one warning line.\n"
    "\n"
    "CAPTURE.bvh -> SCENE.ma: the joint hierarchy (translate = offset, rotate order\n"
    "from the channel order) and one linear curve per channel keyed on every frame,\n"
    "in Maya's time unit for the frame rate where it has one.\n"
    "\n"
    "CLIP.qmf -> CAPTURE.bvh: the skeleton as HIERARCHY (leaves without keys end in\n"
    "End Site), the first root's position and three rotation channels per joint,\n"
    "one frame line per frame; a channel without a key holds its previous value.\n"
    "\n"
    "SCENE.ma -> CLIP.qmf: the scene's animation baked. The skeleton is what\n"
    "'qmf export' writes (the pose at --time); every frame of the playback range\n"
    "(or --frames, every --step-th) is evaluated and keys the first joint's\n"
    "translation and every joint's rotation with its joint orient: the exact\n"
    "inverse of import. The clip's rate is the scene's over the step.\n"
    "\n"
    "SCENE.ma -> CAPTURE.bvh: the same frames as BVH: the scene's joints as the\n"
    "hierarchy (offsets at --time), the first joint's position, and each joint's\n"
    "rotation channels in its own rotate order: the curves' own values where the\n"
    "joint has no joint orient, else the rotation with it, with a double's digits.\n"
    "\n"
    "CLIP.qmf -> SCENE.ma: a new scene with a rig built from the clip's skeleton\n"
    "(each joint's translate is its offset in centimetres, its joint orient the\n"
    "stored orientation, its rotate zero), and then the clip keyed onto the rig\n"
    "by the qmf translator's reader, as 'qmf import' does. The scene's time unit\n"
    "is the clip's frame rate when Maya has a unit for it, else film. Joint names\n"
    "that Maya does not allow are changed (pelvis.R becomes pelvis_R) in the rig\n"
    "and in the clip the translator reads (a private copy), with one warning line.\n"
    "\n"
    "  --unit U             the BVH file's length unit: cm (default), mm, dm, m, in, ft\n"
    "  --order ORDER        rotation channels of a BVH written, as listed (default zxy:\n"
    "                       Zrotation Xrotation Yrotation); any order of x, y, z\n"
    "  --frames A:B         only frames A to B (ends included): whole frames from 0 of\n"
    "                       a capture or clip; a scene's frames in its time unit,\n"
    "                       within its playback range (the default)\n"
    "  --step N             every Nth frame from A (default 1); the rate is divided by N\n"
    "  --time T             SCENE.ma: the skeleton's pose at frame T (default: the\n"
    "                       scene's current time), as 'qmf export --time'\n"
    "  --root JOINT         to CLIP.qmf or CAPTURE.bvh: only JOINT and its descendants;\n"
    "                       what is above it (a capture's or clip's on the first frame,\n"
    "                       a scene's at --time) is folded into its position and rotation\n"
    "  --start F            CLIP.qmf -> SCENE.ma: the scene frame the clip's frame 0\n"
    "                       lands on (as qmf import --start)\n"
    "  --resample           CLIP.qmf -> SCENE.ma: a clip at a rate Maya has no unit for is\n"
    "                       resampled at the rig's (film) so keys land on its frames\n"
    "  --rig-only           CLIP.qmf -> SCENE.ma: write the rig alone, without the clip's animation\n"
    "  --map FILE           rename the clip's joints first: one 'clipName sceneName'\n"
    "                       pair per line, '#' starts a comment (see qmf import)\n"
    "  --strip-namespaces   drop namespaces from the joint names (mixamorig:Hips -> Hips)\n"
    "  --take NAME|N        TAKE.fbx...: the take read, by name or by its number in\n"
    "                       'qmf info' (default: the first with keys)\n"
    "  --rate R             TAKE.fbx...: keys off a regular grid are sampled at R frames\n"
    "                       per second (default: the file's rate, else 30)\n"
    "  --up auto|y|z        a capture, clip or 3D take recorded Z up: z turns its root\n"
    "                       -90 degrees about X to stand on Y; auto looks at the rest\n"
    "                       pose (feet to head, or root to its farthest end) and says\n"
    "                       what it found; y (default) leaves it\n"
    "  --volumes            -> MOTION.glb|.gltf: the body volumes as a skinned mesh\n"
    "  --plugin PATH        translator module to load (default: ../plug-ins/qmfTranslator.so\n"
    "                       beside this program)\n"
    "\n"
    "Many files at once: with --out-dir, each IN is converted to DIR/NAME.EXT\n"
    "(NAME is IN's name without its extension; DIR is created if missing), each\n"
    "by a qmf process of its own, so a file that fails or crashes fails alone.\n"
    "A progress line is shown on a terminal; at the end the failed files are\n"
    "listed with their reasons, and any failure makes the exit status 1. Nothing\n"
    "is written for a failed file. Two inputs that would write one output, or an\n"
    "output that is an input, are refused before anything runs.\n"
    "\n"
    "  --out-dir DIR        the output folder\n"
    "  --to qmf|ma|bvh|glb  the format written (default: .bvh and .ma -> .qmf, .qmf -> .ma)\n"
    "  --jobs N             files converted at once (default: one per core)\n"
    "\n"
    "See docs/bvh.md for the BVH conversions in full.\n",
    cmdConvert};

}  // namespace qmf
