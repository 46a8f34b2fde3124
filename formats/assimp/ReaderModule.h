// The module the reader's child process loads: the assimp library's parse
// and the project's reading of its scene. Only that child loads it, so a
// qmf that reads no FBX, glTF or Collada file never loads the library
// (loading it was a tenth of a short BVH conversion's time).
#pragma once

#include "AssimpScene.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <unistd.h>

namespace qmf::formats::assimp {

// Found beside the animation library, or in the libraries' folder beside
// the program, or else through the run path (AssimpLoad.cpp).
constexpr const char* kReaderModule = "libqmf-assimp-reader.so";
constexpr const char* kReaderEntry = "qmf_assimp_answer";

// Parses path and writes the answer to fd: its kind ('M' the Imported's
// bytes, 'R' a refusal of ours, 'E' the library's error), its size as 8
// bytes, then the bytes. Never throws.
using ReaderEntry = void (*)(int fd, const char* path, const SceneOptions* options);

inline void writeAll(int fd, const char* data, std::size_t size) {
    std::size_t at = 0;
    while (at < size) {
        const ssize_t n = ::write(fd, data + at, size - at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        at += static_cast<std::size_t>(n);
    }
}

// An answer's kind and size, the bytes to follow.
inline void writeAnswerHead(int fd, char kind, uint64_t size) {
    char head[9];
    head[0] = kind;
    std::memcpy(head + 1, &size, sizeof size);
    writeAll(fd, head, sizeof head);
}

// A whole answer of text.
inline void writeAnswer(int fd, char kind, const std::string& text) {
    writeAnswerHead(fd, kind, text.size());
    writeAll(fd, text.data(), text.size());
}

}  // namespace qmf::formats::assimp
