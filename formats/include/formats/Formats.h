// The one table of formats: each format's name, extensions, how its first
// bytes give it away, and whether qmf reads and writes it. Commands, their
// help, the batch and the completion's test all take what they need from it.
#pragma once

#include <string>
#include <vector>

namespace qmf::formats {

// Fbx, Gltf (read), Collada and Assimp (the rest) are read by the assimp library.
enum class Format { Bvh, Clip, MayaAscii, Gltf, Fbx, Collada, Assimp };

struct FormatRow {
    Format id;
    const char* key;          // --to value and the extension written: "bvh"
    const char* name;         // in messages: "BVH", "Movantis clip"
    const char* description;  // in a sentence: "a BVH file"
    const char* extensions;   // lower case, blank separated: "bvh"
    bool convertFrom;         // qmf convert reads it
    bool convertTo;           // qmf convert writes it
    bool view;                // view, draw and plot read it
    unsigned readOptions;     // OptionBits its reading takes (Options.h)
};

// Every format: clips, scenes, captures.
const std::vector<FormatRow>& formatTable();
const FormatRow& row(Format f);

// By the path's extension, any case; false when it names none.
bool formatOfName(const std::string& path, Format& format);
// An input by its first bytes (a BVH HIERARCHY, a Maya ASCII header, a
// Movantis file as the library identifies it), then by its extension.
bool formatOfContent(const std::string& path, Format& format);

// "(use .bvh, .qmf or .ma)" for a file whose format cannot be told.
std::string extensionHint();
// "a Movantis clip, a Maya ASCII scene or a BVH file": what view reads.
std::string viewableList();

}  // namespace qmf::formats
