// The model into a Movantis clip: the skeleton is loaded into the headless
// host as joints and written by the translator's own writer, so it and its
// body volumes follow the export's rules; the frames are then added through
// the library's authoring interface, one at a time.
#include "formats/clip/ClipFormat.h"

#include "clips/Clip.h"
#include "clips/ClipLibrary.h"
#include "convert/SpaceConversion.h"
#include "formats/Session.h"

#include "qmfhost/PerrorCapture.h"
#include "qmfhost/Scene.h"

#include <maya/MEulerRotation.h>
#include <maya/MFnIkJoint.h>
#include <maya/MQuaternion.h>
#include <maya/MVector.h>

#include <kell.h>
#include <kell_authoring.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <ostream>
#include <unordered_map>

namespace qmf::formats {

namespace {

// While one of these lives, the library's saves go into a temporary file of
// ours as they are: not synced (the commit syncs the file it puts in place)
// and not through a temporary file and rename of its own (ours is private
// already, and removed when a save fails).
struct SavesIntoOurTemporary {
    SavesIntoOurTemporary() {
        kell_save_sync_set(0);
        kell_save_in_place_set(1);
    }
    ~SavesIntoOurTemporary() {
        kell_save_sync_set(1);
        kell_save_in_place_set(0);
    }
    SavesIntoOurTemporary(const SavesIntoOurTemporary&) = delete;
    SavesIntoOurTemporary& operator=(const SavesIntoOurTemporary&) = delete;
};

}  // namespace

namespace {

FM_FILE_IDENTIFIER_TYPE identifierFor(const std::string& path) {
    FM_FILE_IDENTIFIER_TYPE id{};
    const std::string abs = absolute(path);
    if (abs.size() >= FM_PATH_CAPACITY || !fm_path_name_to_file_id_f(abs.c_str(), &id))
        throw FormatError(path + ": path too long for the animation library");
    return id;
}

class ClipWriter : public Writer {
public:
    ClipWriter(const fileio::Output& target, const ConvertOptions& options) : target_(target), options_(options) {}

    // Refuses names a clip cannot tell apart: the translator finds parents by name.
    Rotations reads() const override { return Rotations::FileQuaternion; }
    void check(const Skeleton& s) override {
        std::unordered_map<std::string, std::size_t> first;
        for (std::size_t i = 0; i < s.joints.size(); ++i) {
            auto [it, fresh] = first.emplace(s.joints[i].name, i);
            if (!fresh)
                throw FormatError("joint name '" + s.joints[i].name + "' is used twice (lines " +
                                  std::to_string(s.joints[it->second].line) + " and " + std::to_string(s.joints[i].line) +
                                  "); a clip tells joints apart by name");
        }
    }

    void begin(const Skeleton& s, std::ostream& warn) override {
        skeleton_ = &s;
        // A clip holds root translation for its first root only.
        std::vector<std::string> dropped;
        for (std::size_t i = 1; i < s.joints.size(); ++i)
            if (s.joints[i].position) dropped.push_back(s.joints[i].name);
        if (!dropped.empty())
            warn << "qmf: warning: a clip holds position channels for its first root only; dropped those of "
                 << nameList(dropped) << "\n";
        module_ = loadTranslator(options_.plugin);
        if (!s.inHost) buildHostJoints(s);
        // The translator writes the skeleton beside the output; the frames go
        // into a second temporary file that replaces the output at the end.
        skeletonFile_ = std::make_unique<fileio::TempFile>(target_);
        {
            qmfhost::PerrorCapture capture(true);
            const SavesIntoOurTemporary direct;  // the skeleton file is only read back
            if (!module_->write("qmf", absolute(skeletonFile_->path())))
                throw FormatError("the translator could not write the skeleton of " + s.path);
        }
        startLibrary();
        anm_.emplace(openClip(skeletonFile_->path()));
        fig_ = anm_animation_figure_get_by_index_f(anm_->get(), 0);
        SKL_SKELETON_HANDLE sk = fig_ ? fig_figure_get_skel(fig_) : nullptr;
        if (!sk || skl_skeleton_number_of_joints_get_f(sk) != static_cast<int32_t>(s.joints.size()))
            throw FormatError("the translator wrote another skeleton than " + s.path + " holds");
        for (std::size_t i = 0; i < s.joints.size(); ++i) {
            char name[SKL_JOINT_NAME_CAPACITY] = {};
            skl_skeleton_joint_name_get(sk, static_cast<SKL_JOINT_ID>(i), name);
            if (s.joints[i].name != name) throw FormatError("the translator wrote the joints of " + s.path + " in another order");
            // The writer gives roots no offset; a source's root offset is data
            // (a scene's skeleton is what export writes, as it is).
            if (s.joints[i].parent < 0 && !s.inHost)
                skl_skeleton_offset_set(sk, static_cast<SKL_JOINT_ID>(i), sceneVectorToFile(centimetres(s.joints[i].offset)));
            coord3 o{};
            skl_skeleton_offset_get_f(sk, static_cast<SKL_JOINT_ID>(i), &o);
            if (!std::isfinite(o.x) || !std::isfinite(o.y) || !std::isfinite(o.z))
                throw FormatError(s.path + ": the offset of " + s.joints[i].name +
                                  " is beyond what a clip holds (a float of metres)");
        }
        const float rate = static_cast<float>(1.0 / s.frameTime);
        if (!anm_animation_frame_rate_set_f(anm_->get(), rate))
            throw FormatError(s.path + ": Frame Time gives a frame rate the clip cannot hold");
        if (!anm_animation_number_of_frames_set_f(anm_->get(), static_cast<int32_t>(s.frames)))
            throw FormatError(s.path + ": the animation library refused " + std::to_string(s.frames) + " frames");
        for (std::size_t i = 0; i < s.joints.size(); ++i)
            if (s.joints[i].rotation) rotating_.push_back(i);
    }

    void frame(const Frame& fr) override {
        const Skeleton& s = *skeleton_;
        watchDropped(fr);
        const auto frame = static_cast<int32_t>(written_++);
        if (s.joints[0].position) {
            const coord3 v = sceneVectorToFile(centimetres(fr.position[0]));
            if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z))
                throw FormatError(s.path + ": frame " + std::to_string(frame) + ": the position of " + s.joints[0].name +
                                  " is beyond what a clip holds (a float of metres)");
            bool ok = fgf_frame_value_set_f(fig_, frame, 1, v.x) && fgf_frame_value_set_f(fig_, frame, 2, v.y) &&
                      fgf_frame_value_set_f(fig_, frame, 3, v.z);
            if (!ok) throw FormatError("the animation library refused a root translation key (out of memory?)");
        }
        const MQuaternion rest;  // the joints' orientation in the host is the identity
        for (std::size_t i : rotating_) {
            quaternion q;
            if (s.rotations == Rotations::Euler) {
                const auto& a = fr.euler[i];
                const auto order = static_cast<MEulerRotation::RotationOrder>(s.joints[i].rotateOrder);
                q = sceneRotationToFile(MEulerRotation(a[0], a[1], a[2], order).asQuaternion(), rest);
            } else {
                q = fr.fileRotation[i];
            }
            if (!fgf_frame_joint_orientation_set_f(fig_, frame, static_cast<SKL_JOINT_ID>(i), &q))
                throw FormatError("the animation library refused an orientation key (out of memory?)");
        }
    }

    Written finish(std::ostream& warn) override {
        fileio::TempFile clipFile(target_);
        FM_FILE_IDENTIFIER_TYPE id = identifierFor(clipFile.path());
        // Synced once, when the commit puts it in place.
        const SavesIntoOurTemporary direct;
        if (!anm_animation_save_as_f(anm_->get(), &id, 0, nullptr)) {
            const char* why = kell_last_error_message();
            throw FormatError("cannot write " + target_.path + (why && *why ? std::string(": ") + why : std::string()));
        }
        clipFile.commit();
        warnStillRoot(warn);
        return {skeleton_->joints.size(), skeleton_->frames, {}};
    }

private:
    // Whether the first root stays still while a joint whose positions are
    // dropped travels: a capture with its walk under a still root.
    void watchDropped(const Frame& fr) {
        const Skeleton& s = *skeleton_;
        if (written_ == 0) {
            firstFrame_ = fr;
            travel_.assign(s.joints.size(), 0.0);
            return;
        }
        if (s.joints[0].position && fr.position[0] != firstFrame_.position[0]) rootStill_ = false;
        if (s.joints[0].rotation && s.rotations == Rotations::Euler && fr.euler[0] != firstFrame_.euler[0]) rootStill_ = false;
        if (s.joints[0].rotation && s.rotations != Rotations::Euler) {
            const quaternion &a = fr.fileRotation[0], &b = firstFrame_.fileRotation[0];
            if (a.f0 != b.f0 || a.f1 != b.f1 || a.f2 != b.f2 || a.f3 != b.f3) rootStill_ = false;
        }
        for (std::size_t i = 1; i < s.joints.size(); ++i) {
            if (!s.joints[i].position) continue;
            double d = 0;
            for (int a = 0; a < 3; ++a) {
                const double step = (fr.position[i][a] - firstFrame_.position[i][a]) * s.lengthToCm;
                d += step * step;
            }
            travel_[i] = std::max(travel_[i], std::sqrt(d));
        }
    }

    void warnStillRoot(std::ostream& warn) const {
        if (!rootStill_ || travel_.empty()) return;
        const auto far = std::max_element(travel_.begin(), travel_.end());
        if (*far < 1.0) return;  // a centimetre: not a walk
        const std::string& name = skeleton_->joints[static_cast<std::size_t>(far - travel_.begin())].name;
        char metres[32];
        std::snprintf(metres, sizeof metres, "%.2f", *far / 100.0);
        warn << "qmf: warning: " << skeleton_->joints[0].name << " stays still while " << name << " travels " << metres
             << " m, and a clip keeps the first root's positions only; --root " << name << " keeps its motion\n";
    }

    MVector centimetres(const std::array<double, 3>& v) const {
        const double u = skeleton_->lengthToCm;
        return MVector(v[0] * u, v[1] * u, v[2] * u);
    }

    // The skeleton as joints in the host, translate = offset in centimetres.
    void buildHostJoints(const Skeleton& s) {
        qmfhost::resetScene();
        std::vector<MObject> nodes(s.joints.size());
        for (std::size_t i = 0; i < s.joints.size(); ++i) {
            const Joint& j = s.joints[i];
            MStatus st;
            const MObject parent = j.parent < 0 ? MObject::kNullObj : nodes[static_cast<std::size_t>(j.parent)];
            nodes[i] = qmfhost::createNode("joint", j.name, parent, qmfhost::NodeClass::Auto, &st);
            if (!st) throw FormatError("the host refused joint '" + j.name + "'");
            MFnIkJoint fn(nodes[i]);
            fn.setTranslation(centimetres(j.offset), MSpace::kTransform);
        }
    }

    std::unique_ptr<qmfhost::PluginModule> module_;  // loaded until everything it made is gone
    fileio::Output target_;
    ConvertOptions options_;
    const Skeleton* skeleton_ = nullptr;
    std::unique_ptr<fileio::TempFile> skeletonFile_;  // read by the library until the clip is saved
    std::optional<AnimationHandle> anm_;
    FIG_FIGURE_HANDLE fig_ = nullptr;
    std::vector<std::size_t> rotating_;
    uint32_t written_ = 0;
    Frame firstFrame_;
    bool rootStill_ = true;
    std::vector<double> travel_;  // per joint whose positions are dropped: farthest from where it starts (cm)
};

}  // namespace

std::unique_ptr<Writer> writeClip(const fileio::Output& target, const ConvertOptions& options) {
    return std::make_unique<ClipWriter>(target, options);
}

}  // namespace qmf::formats
