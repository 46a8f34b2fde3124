// What the reader of FBX, glTF, Collada and the other formats the assimp
// library reads hands on: a skeleton and one take sampled on a grid of
// frames, in centimetres and Y up. It is made in a child process and passed
// back as bytes, so it is plain data with an encoding of its own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qmf::formats::assimp {

struct ImportedJoint {
    std::string name;
    int32_t parent = -1;                         // lower than the joint's own index; -1 the root
    std::array<double, 3> offset{};              // rest translation from the parent, centimetres
    std::array<double, 4> rest{0, 0, 0, 1};      // rest rotation (x, y, z, w)
    uint8_t keyed = 0;                           // the take turns it (a leaf that does not is an end)
};

struct Take {
    std::string name;
    double seconds = 0;  // from its first key to its last
    double rate = 0;     // frames per second it is read at (on its keys' grid, or sampled)
    uint32_t frames = 0;
};

struct Imported {
    std::vector<ImportedJoint> joints;           // parents before children
    std::vector<Take> takes;                     // every take of the file, in its order
    int32_t take = -1;                           // the one read; -1 none (a rest pose only)
    double frameTime = 1.0 / 30;                 // seconds per frame of the take read
    uint32_t frames = 0;
    std::vector<float> rotations;                // frames × joints × (x, y, z, w)
    std::vector<float> rootPosition;             // frames × 3, centimetres
    std::vector<std::string> notes;              // what was applied ("metres → cm (×100)"), said in one line
    std::vector<std::string> warnings;           // one line each, without "qmf: warning: path: "
};

// The bytes of an Imported, and back. decode refuses (ImportedError) any
// size the bytes cannot hold, so a damaged answer is one line, not a huge
// allocation.
std::string encode(const Imported& m);
Imported decode(const std::string& bytes);
Imported decode(const char* data, std::size_t size);
// The same bytes as encode, handed to sink piece by piece (the frames'
// values where they lie), with their total size first.
std::size_t encodedSize(const Imported& m);
void encodeTo(const Imported& m, const std::function<void(const char*, std::size_t)>& sink);

struct ImportedError {
    std::string what;
};

}  // namespace qmf::formats::assimp
