// Which format a file is, by the table of formats: by content first, then by name.
#include "motion/MotionBuild.h"

#include "clips/Error.h"
#include "formats/Error.h"
#include "formats/Formats.h"
#include "formats/Session.h"

namespace qmf::motion {

namespace {

Motion load(const std::string& path, const LoadOptions& options, std::ostream& warn, OnlyFrame only) {
    try {
        requireInput(path);
        formats::Format format = formats::Format::Clip;
        if (formats::formatOfContent(path, format) && formats::row(format).view) {
            switch (format) {
            case formats::Format::Clip: return loadClip(path, options, warn, only);
            case formats::Format::MayaAscii: return loadMayaAscii(path, options, warn, only);
            case formats::Format::Bvh: return loadBvh(path, options, warn, only);
            case formats::Format::Fbx:
            case formats::Format::Gltf:
            case formats::Format::Collada:
            case formats::Format::Assimp: return loadExchange(format, path, options, warn, only);
            }
        }
    } catch (const FormatError& e) {
        throw MotionError(e.what());
    } catch (const ClipError& e) {
        throw MotionError(e.what());
    }
    throw MotionError(path + ": not " + formats::viewableList());
}

}  // namespace

Motion loadMotion(const std::string& path, const LoadOptions& options, std::ostream& warn) {
    return load(path, options, warn, std::nullopt);
}

Motion loadFrame(const std::string& path, const LoadOptions& options, uint32_t frame, std::ostream& warn) {
    return load(path, options, warn, frame);
}

}  // namespace qmf::motion
