// Movantis files as JSON, through the animation library: the dump behind
// `qmf info` and the rebuild behind `qmf pack`.
#pragma once

#include <nlohmann/json.hpp>

#include <stdexcept>
#include <string>

namespace qmf {

// One-line failures for the command to print.
struct CommandError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Starts the library once for the process.
void startLibrary();

// Reads a Movantis animation into the documented JSON form.
nlohmann::json dumpClip(const std::string& path);

// Refuses (CommandError) a file that is missing, not a Movantis animation
// or damaged, saying which.
void checkClip(const std::string& path);

// Human-readable summary of the same.
std::string describeClip(const nlohmann::json& clip);

// Builds an animation from the JSON form and saves it at path (atomically).
void packClip(const nlohmann::json& clip, const std::string& path);

// Float <-> JSON without losing a bit: numbers parse back to the same float;
// non-finite values are strings ("inf", "-inf", "nan", "nan:0x7fc00001").
nlohmann::json floatToJson(float v);
float floatFromJson(const nlohmann::json& v, const std::string& where);

// Path of a temporary file beside target, for atomic replacement.
std::string tempPathBeside(const std::string& target, const std::string& suffix);

}  // namespace qmf
