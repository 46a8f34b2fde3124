// The tool's own calls into the animation library, shared by the dump and
// the pack.
#pragma once

#include "clips/Clip.h"

#include <kell.h>
#include <kell_authoring.h>

#include <string>

namespace qmf {

// Opens a Movantis animation read-only, refusing (ClipError) a missing,
// foreign or damaged file.
ANM_ANIMATION_HANDLE openClip(const std::string& path);

// The one line for a clip another program cut short or rewrote while it was
// being read: its reads from then on were not the file's.
std::string changedWhileRead(const std::string& path);

// Refuses (ClipError, that line) once the library has seen the file behind
// anm cut short. Asked after reading, as the read itself shows it.
void refuseIfChanged(ANM_ANIMATION_HANDLE anm, const std::string& path);

// Copies a name the library reports through a (buffer, capacity) getter.
template <typename Getter>
std::string libraryString(Getter get) {
    int32_t n = get(nullptr, 0);
    if (n <= 0) return std::string();
    std::string s(static_cast<std::size_t>(n) + 1, '\0');
    get(s.data(), s.size());
    s.resize(static_cast<std::size_t>(n));
    return s;
}

}  // namespace qmf
