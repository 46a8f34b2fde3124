// Argument checks and copies shared by the C interface's files.
#ifndef KELL_API_SUPPORT_H
#define KELL_API_SUPPORT_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "model.h"

namespace kell::api {

// The reason kell_last_error_message gives for the last failure.
void setError(std::string why);

inline Joint *jointOf(Skeleton *s, SKL_JOINT_ID joint) {
    if (!s || joint < 0 || static_cast<size_t>(joint) >= s->joints.size()) return nullptr;
    return &s->joints[joint];
}

inline Joint *jointOf(SKL_SKELETON_HANDLE h, SKL_JOINT_ID joint) { return jointOf(liveSkeleton(h), joint); }

// A name of at most maxLength bytes; null counts as empty.
inline bool goodName(const char *name, size_t maxLength, bool allowEmpty) {
    if (!name) return allowEmpty;
    const size_t n = strnlen(name, maxLength + 1);
    return n <= maxLength && (allowEmpty || n > 0);
}

// Copies as much of name as fits, terminated; returns its full length.
inline int32_t copyName(const std::string &name, char *buffer, size_t capacity) {
    if (buffer && capacity > 0) {
        const size_t n = std::min(name.size(), capacity - 1);
        std::memcpy(buffer, name.data(), n);
        buffer[n] = '\0';
    }
    return static_cast<int32_t>(name.size());
}

inline bool validFrame(const Figure *f, int32_t frame) { return frame >= 0 && frame < f->animation->frameCount; }

inline bool validChannel(int32_t channel) { return channel >= 1 && channel <= 3; }

inline bool validJoint(const Figure *f, SKL_JOINT_ID joint) {
    return joint >= 0 && static_cast<size_t>(joint) < f->skeleton->joints.size();
}

// Test hook: at the Nth value read from an animation opened from a file, the
// file is cut to a third of its size, as another program might. Set by
// kell_testing_cut_file_at_read, or by KELL_TESTING_CUT_AT_READ for a
// process started by a test; 0 is off.
extern int64_t gCutAtRead;
void countReadForCut(const Figure *f);

}  // namespace kell::api

#endif
