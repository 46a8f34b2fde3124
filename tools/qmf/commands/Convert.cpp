// qmf convert: between BVH captures, Movantis clips and Maya ASCII scenes,
// the formats chosen by the files' extensions.
#include "Batch.h"
#include "CommandSupport.h"
#include "Convert.h"
#include "Printable.h"

#include <cctype>
#include <iostream>

namespace qmf {

namespace {

struct Route {
    FileKind from, to;
    int (*run)(const ConvertJob&);  // null: not available yet
    unsigned options;               // ConvertOption bits it takes
};

const Route kRoutes[] = {
    {FileKind::Clip, FileKind::Maya, convertClipToMaya, kOptPlugin | kOptMap | kOptStripNamespaces | kOptRigOnly},
    {FileKind::Bvh, FileKind::Clip, convertBvhToClip, kOptPlugin | kOptUnit},
    {FileKind::Clip, FileKind::Bvh, convertClipToBvh, kOptUnit | kOptOrder},
    {FileKind::Bvh, FileKind::Maya, convertBvhToMaya, kOptUnit},
    {FileKind::Maya, FileKind::Bvh, nullptr, 0},
};

const char* kindName(FileKind k) {
    switch (k) {
    case FileKind::Bvh: return "BVH";
    case FileKind::Clip: return "Movantis clip";
    case FileKind::Maya: return "Maya ASCII";
    }
    return "?";
}

bool kindOf(const std::string& path, FileKind& kind) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == "bvh") kind = FileKind::Bvh;
    else if (ext == "qmf") kind = FileKind::Clip;
    else if (ext == "ma") kind = FileKind::Maya;
    else return false;
    return true;
}

void parseUnit(const std::string& text, ConvertJob& job) {
    static const struct {
        const char* name;
        double cm;
    } kUnits[] = {{"cm", 1.0}, {"mm", 0.1}, {"m", 100.0}, {"in", 2.54}, {"ft", 30.48}};
    for (const auto& u : kUnits)
        if (text == u.name) {
            job.unitGiven = true;
            job.unitToCm = u.cm;
            job.unitName = u.name;
            return;
        }
    throw CommandError("convert: --unit must be cm, mm, m, in or ft, not '" + text + "'");
}

void parseOrder(const std::string& text, ConvertJob& job) {
    for (const char* o : {"xyz", "yzx", "zxy", "xzy", "yxz", "zyx"})
        if (text == o) {
            job.order = text;
            return;
        }
    throw CommandError("convert: --order must be xyz, yzx, zxy, xzy, yxz or zyx, not '" + text + "'");
}

const struct {
    const char* flag;
    unsigned bit;
} kFlags[] = {{"--plugin", kOptPlugin}, {"--map", kOptMap}, {"--strip-namespaces", kOptStripNamespaces},
              {"--rig-only", kOptRigOnly}, {"--unit", kOptUnit}, {"--order", kOptOrder}};

// The route from one kind to another, refused with the single-file
// command's one line when qmf has none or it does not take an option given.
const Route& routeFor(FileKind from, FileKind to, const Args& a) {
    const Route* route = nullptr;
    for (const Route& r : kRoutes)
        if (r.from == from && r.to == to) route = &r;
    if (!route || !route->run) {
        std::string line = std::string("convert: ") + kindName(from) + " to " + kindName(to);
        if (from == FileKind::Maya && to == FileKind::Clip) line += " is what 'qmf export' does";
        else if (route) line += " is not available yet";
        else line += " is not a conversion qmf makes";
        throw CommandError(line);
    }
    for (const auto& f : kFlags)
        if (a.has(f.flag) && !(route->options & f.bit))
            throw CommandError(std::string("convert: ") + f.flag + " does not apply to " + kindName(from) + " to " +
                               kindName(to));
    return *route;
}

// With --out-dir: every input to the folder, each in a process of its own.
// The target is --to, else the usual one for the input's kind.
int convertBatch(const Args& a) {
    static const struct {
        const char* ext;
        FileKind kind;
    } kTargets[] = {{"qmf", FileKind::Clip}, {"ma", FileKind::Maya}, {"bvh", FileKind::Bvh}};
    const char* toExt = nullptr;
    FileKind to = FileKind::Clip;
    if (a.has("--to")) {
        for (const auto& t : kTargets)
            if (a.value("--to") == t.ext) {
                toExt = t.ext;
                to = t.kind;
            }
        if (!toExt) throw CommandError("convert: --to must be qmf, ma or bvh, not '" + a.value("--to") + "'");
    }
    BatchPlan plan;
    plan.command = "convert";
    plan.verb = "converted";
    plan.outDir = a.value("--out-dir");
    plan.jobs = parseJobs("convert", a.value("--jobs"));
    for (const std::string& in : a.positional) {
        FileKind from = FileKind::Clip;
        if (!kindOf(in, from))
            throw CommandError("convert: cannot tell the format of " + in + " (use .bvh, .qmf or .ma)");
        FileKind target = to;
        const char* ext = toExt;
        if (!toExt) {
            // A capture becomes a clip, a clip a scene; a scene is refused as export's.
            target = from == FileKind::Clip ? FileKind::Maya : FileKind::Clip;
            ext = target == FileKind::Maya ? "ma" : "qmf";
        }
        try {
            routeFor(from, target, a);
        } catch (const CommandError& e) {
            throw CommandError(std::string(e.what()) + " (" + in + ")");
        }
        plan.items.push_back({in, batchOutput(plan.outDir, in, ext)});
    }
    if (a.has("--map") && a.value("--map").empty()) throw CommandError("convert: --map needs a file");
    for (const auto& f : kFlags) {
        if (!a.has(f.flag)) continue;
        plan.childOptions.push_back(f.flag);
        if (a.values.count(f.flag)) plan.childOptions.push_back(a.value(f.flag));
    }
    prepareBatch(plan);
    return runBatch(plan);
}

int cmdConvert(int argc, char** argv) {
    Args a = parseArgs("convert", argc, argv,
                       {{"--plugin", true}, {"--map", true}, {"--strip-namespaces", false}, {"--rig-only", false},
                        {"--unit", true}, {"--order", true}, {"--out-dir", true}, {"--jobs", true}, {"--to", true}});
    if (a.help) {
        std::cout << kConvertCommand.help;
        return 0;
    }
    ConvertJob job;
    // Values first, so a mistyped unit is caught whatever the files.
    if (a.has("--unit")) parseUnit(a.value("--unit"), job);
    if (a.has("--order")) parseOrder(a.value("--order"), job);
    if (a.has("--out-dir")) return convertBatch(a);
    if (a.has("--jobs") || a.has("--to")) throw CommandError("convert: --jobs and --to need --out-dir");
    needPositional("convert", a, 2);
    job.in = a.positional[0];
    job.out = a.positional[1];
    FileKind from = FileKind::Clip, to = FileKind::Clip;
    for (const auto& [path, kind] : {std::pair<const std::string&, FileKind&>{job.in, from}, {job.out, to}})
        if (!kindOf(path, kind))
            throw CommandError("convert: cannot tell the format of " + path + " (use .bvh, .qmf or .ma)");
    const Route& route = routeFor(from, to, a);
    job.plugin = a.value("--plugin");
    job.rename.mapFile = a.value("--map");
    if (a.has("--map") && job.rename.mapFile.empty()) throw CommandError("convert: --map needs a file");
    job.rename.stripNamespaces = a.has("--strip-namespaces");
    job.rigOnly = a.has("--rig-only");
    return route.run(job);
}

}  // namespace

const Command kConvertCommand = {
    "convert",
    "usage: qmf convert IN OUT [options]\n"
    "       qmf convert IN... --out-dir DIR [--to qmf|ma|bvh] [--jobs N] [options]\n"
    "         IN -> OUT: CAPTURE.bvh -> CLIP.qmf, CAPTURE.bvh -> SCENE.ma,\n"
    "                    CLIP.qmf -> SCENE.ma, CLIP.qmf -> CAPTURE.bvh\n"
    "\n"
    "Converts between file formats, chosen by the extensions (.bvh BVH motion\n"
    "capture, .qmf Movantis clip, .ma Maya ASCII). Outputs are written atomically\n"
    "and never over an input.\n"
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
    "CLIP.qmf -> SCENE.ma: a new scene with a rig built from the clip's skeleton\n"
    "(each joint's translate is its offset in centimetres, its joint orient the\n"
    "stored orientation, its rotate zero), and then the clip keyed onto the rig\n"
    "by the qmf translator's reader, as 'qmf import' does. The scene's time unit\n"
    "is the clip's frame rate when Maya has a unit for it, else film. Joint names\n"
    "that Maya does not allow are changed (pelvis.R becomes pelvis_R) in the rig\n"
    "and in the clip the translator reads (a private copy), with one warning line.\n"
    "\n"
    "  --unit cm|mm|m|in|ft the BVH file's length unit (default cm)\n"
    "  --order ORDER        rotation channels of a BVH written, as listed (default zxy:\n"
    "                       Zrotation Xrotation Yrotation); any order of x, y, z\n"
    "  --rig-only           CLIP.qmf -> SCENE.ma: write the rig alone, without the clip's animation\n"
    "  --map FILE           rename the clip's joints first: one 'clipName sceneName'\n"
    "                       pair per line, '#' starts a comment (see qmf import)\n"
    "  --strip-namespaces   drop namespaces from the joint names (mixamorig:Hips -> Hips)\n"
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
    "  --to qmf|ma|bvh      the format written (default: .bvh -> .qmf, .qmf -> .ma)\n"
    "  --jobs N             files converted at once (default: one per core)\n"
    "\n"
    "See docs/bvh.md for the BVH conversions in full.\n",
    cmdConvert};

}  // namespace qmf
