// The animation library as the translator sees it: the C interface of Kell,
// from whichever library is linked (the stand-in or the maker's), plus the
// few values the translator passes that the interface leaves unnamed.
#ifndef QMF_INTERFACES_ANIMLIBRARY_H
#define QMF_INTERFACES_ANIMLIBRARY_H

#include <kell.h>

#include <cstddef>
#include <cstdint>

namespace kell {

// Constant arguments the library expects; they carry no choice of ours.
constexpr int32_t kFigureAddFlags = 0;
constexpr int32_t kSaveFlags = 0;
constexpr int32_t kOpenFlags = 1;
constexpr int32_t kFigureIndexFirst = 0;
constexpr int32_t kPartObjectFlags = 0;
constexpr int32_t kSphereFlags = 0;
constexpr int32_t kOrientationKeyFlags = 0;
constexpr int32_t kOrientationGetFlags = 1;

// Root translation channels of a figure's frame data.
constexpr int32_t kRootChannelX = 1;
constexpr int32_t kRootChannelY = 2;
constexpr int32_t kRootChannelZ = 3;

// Longest joint name the library holds, in bytes (its buffer keeps a NUL).
constexpr std::size_t kMaxJointNameLength = SKL_JOINT_NAME_CAPACITY - 1;

inline bool ok(KL_BOOL result) { return result != 0; }

}  // namespace kell

#endif
