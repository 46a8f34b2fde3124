// BVH to a Movantis clip: the hierarchy is loaded into the headless host as
// joints and written by the translator's own writer, so the skeleton and its
// body volumes follow the export's rules; the frames are then added through
// the library's authoring interface, one frame line at a time.
#include "BvhConvert.h"

#include "Clip.h"
#include "ClipLibrary.h"
#include "CommandSupport.h"
#include "bvh/Reader.h"
#include "convert/SpaceConversion.h"

#include "qmfhost/PerrorCapture.h"
#include "qmfhost/Scene.h"

#include <maya/MEulerRotation.h>
#include <maya/MFnIkJoint.h>
#include <maya/MQuaternion.h>
#include <maya/MVector.h>

#include <kell.h>
#include <kell_authoring.h>

#include <cmath>
#include <unordered_map>

namespace qmf {

namespace {

constexpr double kDegreesToRadians = 3.14159265358979323846 / 180.0;

std::string absolutePath(const std::string& p) { return absolute(p); }

FM_FILE_IDENTIFIER_TYPE identifierFor(const std::string& path) {
    FM_FILE_IDENTIFIER_TYPE id{};
    const std::string abs = absolutePath(path);
    if (abs.size() >= FM_PATH_CAPACITY || !fm_path_name_to_file_id_f(abs.c_str(), &id))
        throw CommandError(path + ": path too long for the animation library");
    return id;
}

// Refuses names a clip cannot tell apart: the translator finds parents by name.
void refuseDuplicateNames(const bvh::Hierarchy& h, const std::vector<std::string>& names) {
    std::unordered_map<std::string, std::size_t> first;
    for (std::size_t i = 0; i < names.size(); ++i) {
        auto [it, fresh] = first.emplace(names[i], i);
        if (!fresh)
            throw CommandError("joint name '" + names[i] + "' is used twice (lines " +
                               std::to_string(h.joints[it->second].line) + " and " + std::to_string(h.joints[i].line) +
                               "); a clip tells joints apart by name");
    }
}

// Scene rotation of a joint from its BVH rotation channels (degrees), in the
// rotation order their listing gives.
MQuaternion rotationOf(const bvh::Joint& j, int order, const double* frame) {
    double angle[3] = {0, 0, 0};
    for (std::size_t c = 0; c < j.channels.size(); ++c)
        if (bvh::isRotation(j.channels[c])) angle[bvh::axisOf(j.channels[c])] = frame[j.firstChannel + c] * kDegreesToRadians;
    return MEulerRotation(angle[0], angle[1], angle[2], static_cast<MEulerRotation::RotationOrder>(order)).asQuaternion();
}

struct AnimationGuard {
    ANM_ANIMATION_HANDLE a;
    ~AnimationGuard() { anm_animation_dispose(a); }
};

}  // namespace

BvhConvertResult bvhToClip(const std::string& in, const std::string& out, const BvhOptions& options, std::ostream& warn) {
    requireInput(in);
    fileio::Output target = requireOutput(out, {in, pluginPath(options.plugin)});
    std::unique_ptr<bvh::Reader> reader;
    uint64_t ignored = 0;
    try {
        reader = std::make_unique<bvh::Reader>(bvh::Reader::open(in));
        reader->readHeader();
        ignored = reader->checkFrameLines();
    } catch (const bvh::Error& e) {
        throw CommandError(in + ": " + e.what());
    }
    const bvh::Hierarchy& h = reader->hierarchy();
    const uint32_t frames = reader->declaredFrames();
    const std::vector<std::string> names = bvhconvert::jointNames(h);
    refuseDuplicateNames(h, names);
    if (ignored)
        warn << "qmf: warning: " << in << ": Frames: declares " << frames << " frames; the " << ignored
             << " frame line" << (ignored == 1 ? "" : "s") << " after them " << (ignored == 1 ? "is" : "are")
             << " ignored\n";

    // A clip holds root translation for its first root only.
    std::vector<std::string> dropped;
    for (std::size_t i = 1; i < h.joints.size(); ++i)
        if (h.joints[i].hasPosition()) dropped.push_back(names[i]);
    if (!dropped.empty())
        warn << "qmf: warning: a clip holds position channels for its first root only; dropped those of "
             << bvhconvert::nameList(dropped) << "\n";

    auto module = loadTranslator(options.plugin);
    qmfhost::resetScene();
    std::vector<MObject> nodes(h.joints.size());
    for (std::size_t i = 0; i < h.joints.size(); ++i) {
        const bvh::Joint& j = h.joints[i];
        MStatus st;
        const MObject parent = j.parent < 0 ? MObject::kNullObj : nodes[static_cast<std::size_t>(j.parent)];
        nodes[i] = qmfhost::createNode("joint", names[i], parent, qmfhost::NodeClass::Auto, &st);
        if (!st) throw CommandError("the host refused joint '" + names[i] + "'");
        MFnIkJoint fn(nodes[i]);
        const double u = options.unitToCm;
        fn.setTranslation(MVector(j.offset[0] * u, j.offset[1] * u, j.offset[2] * u), MSpace::kTransform);
    }

    try {
        // The translator writes the skeleton beside the output; the frames
        // go into a second temporary file that replaces the output at the end.
        fileio::TempFile skeletonFile(target);
        {
            qmfhost::PerrorCapture capture(true);
            if (!module->write("qmf", absolutePath(skeletonFile.path())))
                throw CommandError("the translator could not write the skeleton of " + in);
        }
        startLibrary();
        ANM_ANIMATION_HANDLE anm = openClip(skeletonFile.path());
        AnimationGuard guard{anm};
        FIG_FIGURE_HANDLE fig = anm_animation_figure_get_by_index_f(anm, 0);
        SKL_SKELETON_HANDLE sk = fig ? fig_figure_get_skel(fig) : nullptr;
        if (!sk || skl_skeleton_number_of_joints_get_f(sk) != static_cast<int32_t>(names.size()))
            throw CommandError("the translator wrote another skeleton than " + in + " holds");
        for (std::size_t i = 0; i < names.size(); ++i) {
            char name[SKL_JOINT_NAME_CAPACITY] = {};
            skl_skeleton_joint_name_get(sk, static_cast<SKL_JOINT_ID>(i), name);
            if (names[i] != name) throw CommandError("the translator wrote the joints of " + in + " in another order");
            // The writer gives roots no offset; a BVH ROOT's OFFSET is data.
            if (h.joints[i].parent < 0) {
                const double u = options.unitToCm;
                const auto& o = h.joints[i].offset;
                skl_skeleton_offset_set(sk, static_cast<SKL_JOINT_ID>(i), sceneVectorToFile(MVector(o[0] * u, o[1] * u, o[2] * u)));
            }
        }
        const float rate = static_cast<float>(1.0 / reader->frameTime());
        if (!anm_animation_frame_rate_set_f(anm, rate)) throw CommandError(in + ": Frame Time gives a frame rate the clip cannot hold");
        if (!anm_animation_number_of_frames_set_f(anm, static_cast<int32_t>(frames)))
            throw CommandError(in + ": the animation library refused " + std::to_string(frames) + " frames");

        std::vector<int> order(h.joints.size(), 0);
        std::vector<std::size_t> rotating;
        for (std::size_t i = 0; i < h.joints.size(); ++i)
            if (h.joints[i].hasRotation()) {
                order[i] = bvhconvert::mayaOrderIndex(bvh::mayaRotateOrder(h.joints[i]));
                rotating.push_back(i);
            }
        const bvh::Joint& root = h.joints[0];
        const MQuaternion rest;  // the joints' orientation in the host is the identity
        std::vector<double> values(h.channelCount);
        for (uint32_t f = 0; f < frames; ++f) {
            try {
                reader->readFrame(values.data());
            } catch (const bvh::Error& e) {
                throw CommandError(in + ": " + e.what());
            }
            const auto frame = static_cast<int32_t>(f);
            if (root.hasPosition()) {
                double p[3] = {0, 0, 0};
                for (std::size_t c = 0; c < root.channels.size(); ++c)
                    if (!bvh::isRotation(root.channels[c]))
                        p[bvh::axisOf(root.channels[c])] = values[root.firstChannel + c] * options.unitToCm;
                const coord3 v = sceneVectorToFile(MVector(p[0], p[1], p[2]));
                bool ok = fgf_frame_value_set_f(fig, frame, 1, v.x) && fgf_frame_value_set_f(fig, frame, 2, v.y) &&
                          fgf_frame_value_set_f(fig, frame, 3, v.z);
                if (!ok) throw CommandError("the animation library refused a root translation key (out of memory?)");
            }
            for (std::size_t i : rotating) {
                const quaternion q = sceneRotationToFile(rotationOf(h.joints[i], order[i], values.data()), rest);
                if (!fgf_frame_joint_orientation_set_f(fig, frame, static_cast<SKL_JOINT_ID>(i), &q))
                    throw CommandError("the animation library refused an orientation key (out of memory?)");
            }
        }
        fileio::TempFile clipFile(target);
        FM_FILE_IDENTIFIER_TYPE id = identifierFor(clipFile.path());
        if (!anm_animation_save_as_f(anm, &id, 0, nullptr)) {
            const char* why = kell_last_error_message();
            throw CommandError("cannot write " + out + (why && *why ? std::string(": ") + why : std::string()));
        }
        clipFile.commit();
    } catch (const fileio::Error& e) {
        throw CommandError(e.what());
    }
    return {names.size(), frames};
}

}  // namespace qmf
