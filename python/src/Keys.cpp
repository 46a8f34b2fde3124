#include "Keys.h"

#include "clips/Clip.h"
#include "clips/Printable.h"

#include <kell_authoring.h>

#include <cmath>
#include <cstring>
#include <string>

namespace qmfpy {

namespace {

// Walks the keyed frames in order; the frames between them are filled as
// unkeyed, so every slot of the output is written exactly once.
template <typename Next, typename Keyed, typename Gap>
void walkKeys(int32_t frames, Next next, Keyed onKey, Gap onGap) {
    int32_t f = 0;
    for (int32_t k = next(0); k >= 0 && k < frames; k = next(k + 1)) {
        for (; f < k; ++f) onGap(f);
        onKey(k);
        f = k + 1;
        if (k == frames - 1) break;
    }
    for (; f < frames; ++f) onGap(f);
}

[[noreturn]] void refused(const char* what, int32_t frame) {
    throw qmf::ClipError(std::string(what) + " at frame " + std::to_string(frame) + " is refused by the library");
}

}  // namespace

void readChannel(FIG_FIGURE_HANDLE fig, int32_t channel, int32_t frames, float* values, uint8_t* keyed) {
    walkKeys(
        frames, [&](int32_t from) { return fgf_frame_value_next_key_f(fig, channel, from); },
        [&](int32_t f) {
            values[f] = fgf_frame_value_get_f(fig, f, channel);
            keyed[f] = 1;
        },
        [&](int32_t f) {
            values[f] = 0;
            keyed[f] = 0;
        });
}

void writeChannel(FIG_FIGURE_HANDLE fig, int32_t channel, int32_t frames, const float* values, const uint8_t* keyed) {
    // Checked whole before any key changes. A float64 beyond float range
    // arrives here infinite.
    for (int32_t f = 0; f < frames; ++f)
        if ((!keyed || keyed[f]) && !std::isfinite(values[f]))
            throw qmf::ClipError("set_channel: the value at frame " + std::to_string(f) +
                                 " is not a finite float32 (NaN, infinite, or beyond float range); nothing was set");
    for (int32_t f = 0; f < frames; ++f) {
        if (!keyed || keyed[f]) {
            if (!fgf_frame_value_set_f(fig, f, channel, values[f])) refused("a translation key", f);
        } else if (fgf_frame_value_key_f(fig, f, channel) && !fgf_frame_value_clear_f(fig, f, channel)) {
            refused("clearing a translation key", f);
        }
    }
}

void readOrientations(FIG_FIGURE_HANDLE fig, int32_t frames, int32_t joints, float* keys, uint8_t* keyed) {
    const std::size_t stride = static_cast<std::size_t>(joints);
    // Frames in blocks whose output stays in cache while each joint's keys
    // are read in order.
    constexpr int32_t kBlock = 256;
    for (int32_t first = 0; first < frames; first += kBlock) {
        const int32_t end = frames - first > kBlock ? first + kBlock : frames;
        for (int32_t j = 0; j < joints; ++j) {
            const auto id = static_cast<SKL_JOINT_ID>(j);
            for (int32_t f = first; f < end; ++f) {
                const std::size_t at = static_cast<std::size_t>(f) * stride + static_cast<std::size_t>(j);
                quaternion q{0, 0, 0, 0};
                const bool has = fgf_frame_joint_orientation_key_f(fig, f, id, 0) != 0;
                if (has) fgf_frame_joint_orientation_get(fig, f, id, &q, 0);
                std::memcpy(keys + 4 * at, &q, sizeof q);
                keyed[at] = has;
            }
        }
    }
}

void writeOrientations(FIG_FIGURE_HANDLE fig, int32_t frames, int32_t joints, const float* keys,
                       const uint8_t* keyed) {
    const std::size_t stride = static_cast<std::size_t>(joints);
    // Checked whole, frame by frame, before any key changes: an import keys
    // a key that is no rotation as 0 degrees.
    for (int32_t f = 0; f < frames; ++f)
        for (int32_t j = 0; j < joints; ++j) {
            const std::size_t at = static_cast<std::size_t>(f) * stride + static_cast<std::size_t>(j);
            if (keyed && !keyed[at]) continue;
            const float* q = keys + 4 * at;
            const double n = double(q[0]) * q[0] + double(q[1]) * q[1] + double(q[2]) * q[2] + double(q[3]) * q[3];
            if (std::isfinite(n) && n > 1e-12) continue;
            char name[SKL_JOINT_NAME_CAPACITY] = {};
            skl_skeleton_joint_name_get(fig_figure_get_skel(fig), static_cast<SKL_JOINT_ID>(j), name);
            throw qmf::ClipError("set_orientations: the key of joint " + std::to_string(j) + " (" + qmf::printable(name) +
                                 ") at frame " + std::to_string(f) +
                                 " is no rotation (" + (std::isfinite(n) ? "zero" : "NaN or infinite") +
                                 "); nothing was set");
        }
    for (int32_t j = 0; j < joints; ++j) {
        const auto id = static_cast<SKL_JOINT_ID>(j);
        for (int32_t f = 0; f < frames; ++f) {
            const std::size_t at = static_cast<std::size_t>(f) * stride + static_cast<std::size_t>(j);
            if (!keyed || keyed[at]) {
                quaternion q;
                std::memcpy(&q, keys + 4 * at, sizeof q);
                if (!fgf_frame_joint_orientation_set_f(fig, f, id, &q)) refused("an orientation key", f);
            } else if (fgf_frame_joint_orientation_key_f(fig, f, id, 0) &&
                       !fgf_frame_joint_orientation_clear_f(fig, f, id)) {
                refused("clearing an orientation key", f);
            }
        }
    }
}

}  // namespace qmfpy
