// A BVH file into the model: converted to a clip the way `qmf convert`
// does it (the translator writes the skeleton), in a private temporary
// folder, and read back as a clip.
#include "motion/MotionBuild.h"

#include "bvh/Reader.h"
#include "fileio/PrivateFolder.h"
#include "clips/Error.h"
#include "formats/Error.h"
#include "formats/Routes.h"


namespace qmf::motion {

namespace {

// A private folder for the converted clip, removed with it.
class TempFolder {
public:
    TempFolder() try : folder_("qmf-view"), clip_(folder_.file("motion.qmf")) {
    } catch (const fileio::Error& e) {
        throw MotionError(e.what());
    }
    const std::string& clip() const { return clip_; }

private:
    fileio::PrivateFolder folder_;
    std::string clip_;
};

}  // namespace

Motion loadBvh(const std::string& path, const LoadOptions& options, std::ostream& warn, OnlyFrame only) {
    // The header alone says how big the motion is: choose the frames (and
    // refuse) before converting, and convert only those.
    Selection sel;
    uint32_t declared = 0;
    try {
        bvh::Reader reader = bvh::Reader::open(path);
        reader.readHeader();
        declared = reader.declaredFrames();
        sel = chooseFrames(declared, reader.hierarchy().joints.size(), options, path, warn, only);
        checkSize(sel.count, reader.hierarchy().joints.size(), path);
    } catch (const bvh::Error& e) {
        throw MotionError(path + ": " + e.what());
    }
    // Only what was chosen is converted (all of it when nothing was).
    LoadOptions chosen = options;
    const uint32_t all = (declared ? declared : 1);
    if (options.frames.empty() && sel.first == 0 && sel.count == (all - 1) / sel.step + 1) chosen.frames.clear();
    else chosen.frames = std::to_string(sel.first) + ":" + std::to_string(sel.last());
    TempFolder folder;
    try {
        formats::convert(formats::Format::Bvh, formats::Format::Clip, path, folder.clip(), chosen, warn);
    } catch (const FormatError& e) {
        throw MotionError(e.what());
    } catch (const ClipError& e) {
        throw MotionError(e.what());
    }
    Motion m = loadClip(folder.clip(), LoadOptions{}, warn);
    m.source = Source::Bvh;
    m.path = path;
    m.selected = sel.total;
    m.shown = only.value_or(0);
    return m;
}

Motion loadExchange(formats::Format format, const std::string& path, const LoadOptions& options, std::ostream& warn,
                    OnlyFrame only) {
    LoadOptions whole = options;
    whole.frames.clear();
    whole.step = 1;
    TempFolder folder;
    try {
        formats::convert(format, formats::Format::Clip, path, folder.clip(), whole, warn);
    } catch (const FormatError& e) {
        throw MotionError(e.what());
    } catch (const ClipError& e) {
        throw MotionError(e.what());
    }
    LoadOptions choose;
    choose.frames = options.frames;
    choose.step = options.step;
    Motion m = loadClip(folder.clip(), choose, warn, only);
    m.source = format == formats::Format::Fbx       ? Source::Fbx
               : format == formats::Format::Gltf    ? Source::Gltf
               : format == formats::Format::Collada ? Source::Collada
                                                    : Source::Other3d;
    m.path = path;
    return m;
}

}  // namespace qmf::motion
