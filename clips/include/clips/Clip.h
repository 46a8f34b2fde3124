// Movantis files as JSON, through the animation library: the dump behind
// `qmf info` and the rebuild behind `qmf pack`.
#pragma once

#include "clips/Error.h"

#include <kell.h>
#include <nlohmann/json.hpp>

#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qmf {

// Keys keep the order they were written in, so the dump reads top-down.
using Json = nlohmann::ordered_json;

// Starts the library once for the process.
void startLibrary();

// Reads a Movantis animation into the documented JSON form.
Json dumpClip(const std::string& path);

// Refuses (ClipError) a file that is missing, not a Movantis animation
// or damaged, saying which.
void checkClip(const std::string& path);
// The same from the file's header alone (missing, not Movantis, not an
// animation), for a command whose next step opens the whole clip anyway.
void checkClipHeader(const std::string& path);
// The library's one-line reason for its last refusal.
std::string libraryError();

// Human-readable summary of a Movantis animation, written as it is read so
// that a large skeleton never has to fit in memory as text.
void describeClip(const std::string& path, std::ostream& out);

// Builds an animation from the JSON form (the bytes of the document) and
// saves it at path (atomically). Refusals name the JSON path.
void packClip(std::string_view json, const std::string& path);

// Saves an animation at path atomically (fileio's rules: never over a
// non-regular file; mode, owner and symlinks kept).
void saveAnimation(ANM_ANIMATION_HANDLE anm, const std::string& path);

// Float <-> JSON without losing a bit: numbers parse back to the same float;
// non-finite values are strings ("inf", "-inf", "nan", "nan:0x7fc00001").
Json floatToJson(float v);
float floatFromJson(const Json& v, const std::string& where);

}  // namespace qmf
