// The routes of `qmf convert`, each one reader and one writer.
#include "formats/Routes.h"

#include "formats/assimp/AssimpFormat.h"
#include "formats/bvh/BvhFormat.h"
#include "formats/clip/ClipFormat.h"
#include "formats/gltf/GltfFormat.h"
#include "formats/maya/MayaFormat.h"

#include "clips/Printable.h"
#include "formats/Error.h"
#include "formats/Session.h"
#include "formats/UpAxis.h"

#include <ostream>

namespace qmf::formats {

namespace {

enum class Make { None, Clip, Bvh, MayaCurves, MayaRig, Gltf };

struct RouteRow {
    Route route;
    Make writer;
    bool wholeSource;      // the source read whole before the writer starts (it holds everything anyway)
    bool translatorInput;  // the translator module is read: the output may not be it
};

const unsigned kSelect = kOptFrames | kOptStep;

const unsigned kAssimp = kOptTake | kOptRate | kSelect | kOptRoot;

const RouteRow kRoutes[] = {
    {{Format::Clip, Format::MayaAscii, true, kOptPlugin | kOptMap | kOptStripNamespaces | kOptRigOnly | kOptStart | kOptResample}, Make::MayaRig, false, true},
    {{Format::Bvh, Format::Clip, true, kOptPlugin | kOptUnit | kSelect | kOptRoot | kOptUp}, Make::Clip, false, true},
    {{Format::Clip, Format::Bvh, true, kOptUnit | kOptOrder | kSelect | kOptRoot | kOptUp}, Make::Bvh, false, false},
    {{Format::Bvh, Format::MayaAscii, true, kOptUnit | kSelect | kOptUp}, Make::MayaCurves, false, false},
    {{Format::MayaAscii, Format::Clip, true, kOptPlugin | kSelect | kOptTime | kOptRoot}, Make::Clip, false, true},
    {{Format::MayaAscii, Format::Bvh, true, kOptUnit | kSelect | kOptTime | kOptRoot}, Make::Bvh, false, false},
    {{Format::Bvh, Format::Gltf, true, kOptUnit | kSelect | kOptRoot | kOptUp | kOptVolumes}, Make::Gltf, false, false},
    {{Format::Clip, Format::Gltf, true, kSelect | kOptRoot | kOptUp | kOptVolumes}, Make::Gltf, false, false},
    {{Format::MayaAscii, Format::Gltf, true, kSelect | kOptTime | kOptRoot | kOptVolumes}, Make::Gltf, false, false},
    {{Format::Fbx, Format::Clip, true, kOptPlugin | kAssimp | kOptUp}, Make::Clip, false, true},
    {{Format::Fbx, Format::Bvh, true, kOptUnit | kOptOrder | kAssimp | kOptUp}, Make::Bvh, false, false},
    {{Format::Fbx, Format::MayaAscii, true, kAssimp | kOptUp}, Make::MayaCurves, false, false},
    {{Format::Fbx, Format::Gltf, true, kAssimp | kOptUp | kOptVolumes}, Make::Gltf, false, false},
    {{Format::Gltf, Format::Clip, true, kOptPlugin | kAssimp | kOptUp}, Make::Clip, false, true},
    {{Format::Gltf, Format::Bvh, true, kOptUnit | kOptOrder | kAssimp | kOptUp}, Make::Bvh, false, false},
    {{Format::Gltf, Format::MayaAscii, true, kAssimp | kOptUp}, Make::MayaCurves, false, false},
    {{Format::Gltf, Format::Gltf, true, kAssimp | kOptUp | kOptVolumes}, Make::Gltf, false, false},
    {{Format::Collada, Format::Clip, true, kOptPlugin | kAssimp | kOptUp}, Make::Clip, false, true},
    {{Format::Collada, Format::Bvh, true, kOptUnit | kOptOrder | kAssimp | kOptUp}, Make::Bvh, false, false},
    {{Format::Collada, Format::MayaAscii, true, kAssimp | kOptUp}, Make::MayaCurves, false, false},
    {{Format::Collada, Format::Gltf, true, kAssimp | kOptUp | kOptVolumes}, Make::Gltf, false, false},
    {{Format::Assimp, Format::Clip, true, kOptPlugin | kOptUnit | kAssimp | kOptUp}, Make::Clip, false, true},
    {{Format::Assimp, Format::Bvh, true, kOptUnit | kOptOrder | kAssimp | kOptUp}, Make::Bvh, false, false},
    {{Format::Assimp, Format::MayaAscii, true, kOptUnit | kAssimp | kOptUp}, Make::MayaCurves, false, false},
    {{Format::Assimp, Format::Gltf, true, kOptUnit | kAssimp | kOptUp | kOptVolumes}, Make::Gltf, false, false},
};

const RouteRow* find(Format from, Format to) {
    for (const RouteRow& r : kRoutes)
        if (r.route.from == from && r.route.to == to) return &r;
    return nullptr;
}

std::unique_ptr<Writer> makeWriter(Make m, const fileio::Output& target, const ConvertOptions& options) {
    switch (m) {
    case Make::Clip: return writeClip(target, options);
    case Make::Bvh: return writeBvh(target, options);
    case Make::MayaCurves: return writeMayaCurves(target, options);
    case Make::MayaRig: return writeMayaRig(target, options);
    case Make::Gltf: return writeGltf(target, options);
    case Make::None: break;
    }
    throw FormatError("no writer for this conversion");
}

std::unique_ptr<Reader> makeReader(Format f, const std::string& in, const ConvertOptions& options, bool whole,
                                   Format to) {
    switch (f) {
    case Format::Bvh:
        return selectRoot(turnUp(selectFrames(readBvh(in, options, whole), options.frames, options.step), options.up),
                          options.root);
    case Format::Clip:
        return selectRoot(turnUp(selectFrames(readClip(in, std::string(row(to).description)), options.frames, options.step),
                                 options.up),
                          options.root);
    case Format::MayaAscii: return readMayaScene(in, options);
    case Format::Fbx:
    case Format::Gltf:
    case Format::Collada:
    case Format::Assimp:
        // The scene writer keys angles; the others take the quaternions as they are.
        return selectRoot(turnUp(selectFrames(readAssimp(f, in, options, to == Format::MayaAscii ? Rotations::Euler
                                                                                                : Rotations::FileQuaternion),
                                              options.frames, options.step),
                                 options.up),
                          options.root);
    }
    throw FormatError(in + ": " + row(f).name + " is not read by convert");
}

// A writer that takes the clip itself: the source's skeleton, unread.
class ClipFileSource : public Reader {
public:
    explicit ClipFileSource(const std::string& path) {
        skeleton_.path = path;
        skeleton_.clipFile = path;
        skeleton_.rotations = Rotations::FileQuaternion;
    }
    const Skeleton& skeleton() const override { return skeleton_; }
    bool next(Frame&) override { return false; }

private:
    Skeleton skeleton_;
};

}  // namespace

std::unique_ptr<Reader> frameReader(Format from, const std::string& in, const ConvertOptions& options) {
    if (from == Format::MayaAscii) return readMayaScene(in, options);
    ConvertOptions whole = options;
    whole.root.clear();
    return makeReader(from, in, whole, false, Format::Clip);
}

std::unique_ptr<Writer> frameWriter(Format to, const fileio::Output& target, const ConvertOptions& options) {
    switch (to) {
    case Format::Clip: return writeClip(target, options);
    case Format::Bvh: return writeBvh(target, options);
    case Format::Gltf: return writeGltf(target, options);
    case Format::MayaAscii:
    case Format::Fbx:
    case Format::Collada:
    case Format::Assimp: break;
    }
    throw FormatError(target.path + ": " + row(to).name + " is written another way");
}

const Route& routeFor(Format from, Format to) {
    const RouteRow* r = find(from, to);
    if (!r || !r->route.available) {
        std::string line = std::string("convert: ") + row(from).name + " to " + row(to).name;
        if (r) line += " is not available yet";
        else line += " is not a conversion qmf makes";
        throw FormatError(line);
    }
    return r->route;
}

void checkOptions(const Route& route, unsigned given) {
    for (const OptionFlag& f : kOptionFlags)
        if ((given & f.bit) && !(route.options & f.bit))
            throw FormatError(std::string("convert: ") + f.flag + " does not apply to " + row(route.from).name + " to " +
                              row(route.to).name);
}

Written convert(const std::string& in, const std::string& out, const ConvertOptions& options, std::ostream& warn) {
    Format from = Format::Clip, to = Format::Clip;
    for (const auto& [path, format] : {std::pair<const std::string&, Format&>{in, from}, {out, to}})
        if (!formatOfName(path, format))
            throw FormatError("convert: cannot tell the format of " + path + " " + extensionHint());
    return convert(from, to, in, out, options, warn);
}

Written convert(Format from, Format to, const std::string& in, const std::string& out, const ConvertOptions& options,
                std::ostream& warn) {
    routeFor(from, to);
    const RouteRow& r = *find(from, to);
    try {
        requireInput(in);
        std::vector<std::string> inputs{in};
        if (r.translatorInput) inputs.push_back(pluginPath(options.plugin));
        if (!options.rename.mapFile.empty()) {
            requireInput(options.rename.mapFile);
            inputs.push_back(options.rename.mapFile);
        }
        const fileio::Output target = requireOutput(out, inputs);
        std::unique_ptr<Writer> writer = makeWriter(r.writer, target, options);
        // The rig writer hands the clip itself to the translator's reader.
        std::unique_ptr<Reader> reader = r.writer == Make::MayaRig && from == Format::Clip
                                             ? std::make_unique<ClipFileSource>(in)
                                             : makeReader(from, in, options, r.wholeSource, to);
        Written w = transfer(*reader, *writer, warn);
        if (w.summary.empty())
            w.summary = std::to_string(w.joints) + " joint" + (w.joints == 1 ? "" : "s") + ", " +
                        std::to_string(w.frames) + " frame" + (w.frames == 1 ? "" : "s");
        return w;
    } catch (const fileio::Error& e) {
        throw FormatError(e.what());
    }
}

}  // namespace qmf::formats
