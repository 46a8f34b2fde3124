// The C interface's figures and frame data: keys read and written, counted
// and walked. A read of an animation whose file was cut short while open
// fails from the first fault on (model.h, intact).
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "kell.h"
#include "kell_authoring.h"
#include "api_support.h"
#include "model.h"

using namespace kell;
using namespace kell::api;

int64_t kell::api::gCutAtRead = [] {
    const char *v = std::getenv("KELL_TESTING_CUT_AT_READ");
    return v && *v ? std::strtoll(v, nullptr, 10) : int64_t{0};
}();

void kell::api::countReadForCut(const Figure *f) {
    if (--gCutAtRead != 0) return;
    const std::string &path = f->animation->path;
    struct stat st {};
    if (!path.empty() && ::stat(path.c_str(), &st) == 0) (void)::truncate(path.c_str(), st.st_size / 3);
}

extern "C" {

// ---- Figures and frame data --------------------------------------------------

SKL_SKELETON_HANDLE fig_figure_get_skel(FIG_FIGURE_HANDLE figure) {
    Figure *f = liveFigure(figure);
    return f && intact(f) ? handleOf(f->skeleton) : nullptr;
}

// The per-key queries: Track::find checks the frame, and a joint without a
// track has no keys, so no other lookup is needed on this path. Whether the
// file was cut is asked after the read, as the read itself may be the fault.
KL_BOOL fgf_frame_value_key_f(FIG_FIGURE_HANDLE figure, int32_t frame, int32_t channel) {
    Figure *f = liveFigure(figure);
    if (!f || !validChannel(channel)) return 0;
    return f->root[channel - 1].find(frame) && intact(f) ? 1 : 0;
}

float fgf_frame_value_get_f(FIG_FIGURE_HANDLE figure, int32_t frame, int32_t channel) {
    Figure *f = liveFigure(figure);
    if (!f || !validChannel(channel)) return 0.0f;
    if (gCutAtRead > 0) countReadForCut(f);
    const uint8_t *v = f->root[channel - 1].find(frame);
    float value = 0.0f;
    if (v) std::memcpy(&value, v, sizeof value);
    return intact(f) ? value : 0.0f;
}

KL_BOOL fgf_frame_joint_orientation_key_f(FIG_FIGURE_HANDLE figure, int32_t frame, SKL_JOINT_ID joint,
                                          int32_t /*flags: any value asks the same*/) {
    Figure *f = liveFigure(figure);
    if (!f) return 0;
    const Track *t = jointTrackIfAny(*f, joint);
    return t && t->find(frame) && intact(f) ? 1 : 0;
}

void fgf_frame_joint_orientation_get(FIG_FIGURE_HANDLE figure, int32_t frame, SKL_JOINT_ID joint,
                                     quaternion *orientation, int32_t /*flags: any value reads the same*/) {
    if (!orientation) return;
    *orientation = quaternion{0, 0, 0, 0};
    Figure *f = liveFigure(figure);
    if (!f) return;
    if (gCutAtRead > 0) countReadForCut(f);
    const Track *t = jointTrackIfAny(*f, joint);
    if (const uint8_t *v = t ? t->find(frame) : nullptr) std::memcpy(orientation, v, sizeof *orientation);
    if (!intact(f)) *orientation = quaternion{0, 0, 0, 0};
}

KL_BOOL fgf_frame_value_set_f(FIG_FIGURE_HANDLE figure, int32_t frame, int32_t channel, float value) {
    Figure *f = liveFigure(figure);
    if (!f || !intact(f) || !validChannel(channel) || !validFrame(f, frame)) return 0;
    try {
        f->root[channel - 1].set(frame, &value, f->animation->frameCount);
    } catch (const std::bad_alloc &) {
        return 0;
    }
    return intact(f) ? 1 : 0;  // an edit copies the track first: of zeros, if cut meanwhile
}

KL_BOOL fgf_frame_value_clear_f(FIG_FIGURE_HANDLE figure, int32_t frame, int32_t channel) {
    Figure *f = liveFigure(figure);
    if (!f || !intact(f) || !validChannel(channel) || !validFrame(f, frame)) return 0;
    try {
        f->root[channel - 1].clear(frame, f->animation->frameCount);
    } catch (const std::bad_alloc &) {
        return 0;
    }
    return intact(f) ? 1 : 0;  // an edit copies the track first: of zeros, if cut meanwhile
}

KL_BOOL fgf_frame_joint_orientation_set_f(FIG_FIGURE_HANDLE figure, int32_t frame, SKL_JOINT_ID joint,
                                          const quaternion *orientation) {
    Figure *f = liveFigure(figure);
    if (!f || !intact(f) || !orientation || !validFrame(f, frame) || !validJoint(f, joint)) return 0;
    try {
        jointTrack(*f, joint).set(frame, orientation, f->animation->frameCount);
    } catch (const std::bad_alloc &) {
        return 0;
    }
    return intact(f) ? 1 : 0;  // an edit copies the track first: of zeros, if cut meanwhile
}

KL_BOOL fgf_frame_joint_orientation_clear_f(FIG_FIGURE_HANDLE figure, int32_t frame, SKL_JOINT_ID joint) {
    Figure *f = liveFigure(figure);
    if (!f || !intact(f) || !validFrame(f, frame) || !validJoint(f, joint)) return 0;
    if (static_cast<size_t>(joint) >= f->joints.size()) return 1;  // nothing keyed
    try {
        f->joints[joint].clear(frame, f->animation->frameCount);
    } catch (const std::bad_alloc &) {
        return 0;
    }
    return intact(f) ? 1 : 0;  // an edit copies the track first: of zeros, if cut meanwhile
}

int32_t fgf_frame_value_key_count_f(FIG_FIGURE_HANDLE figure, int32_t channel) {
    Figure *f = liveFigure(figure);
    if (!f || !intact(f) || !validChannel(channel)) return -1;
    return f->root[channel - 1].keys;
}

int32_t fgf_frame_joint_orientation_key_count_f(FIG_FIGURE_HANDLE figure, SKL_JOINT_ID joint) {
    Figure *f = liveFigure(figure);
    if (!f || !intact(f) || !validJoint(f, joint)) return -1;
    const Track *t = jointTrackIfAny(*f, joint);
    return t ? t->keys : 0;
}

int32_t fgf_frame_value_next_key_f(FIG_FIGURE_HANDLE figure, int32_t channel, int32_t from) {
    Figure *f = liveFigure(figure);
    if (!f || !intact(f) || !validChannel(channel)) return -1;
    const int32_t next = f->root[channel - 1].nextKey(from, f->animation->frameCount);
    return intact(f) ? next : -1;
}

int32_t fgf_frame_joint_orientation_next_key_f(FIG_FIGURE_HANDLE figure, SKL_JOINT_ID joint, int32_t from) {
    Figure *f = liveFigure(figure);
    if (!f || !intact(f) || !validJoint(f, joint)) return -1;
    const Track *t = jointTrackIfAny(*f, joint);
    const int32_t next = t ? t->nextKey(from, f->animation->frameCount) : -1;
    return intact(f) ? next : -1;
}

}  // extern "C"
