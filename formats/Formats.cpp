#include "formats/Formats.h"

#include "formats/Options.h"
#include "formats/Session.h"

#include "clips/Clip.h"

#include <kell.h>

#include <fstream>

namespace qmf::formats {

namespace {

// The library parses these (in a child process); the translator writes the clip a view reads.
const unsigned kAssimpOptions = kOptTake | kOptRate | kOptPlugin | kOptFrames | kOptStep;

// A function's static, so commands may read it while their own statics start.
const std::vector<FormatRow>& table() {
    static const std::vector<FormatRow> kFormats = {
        {Format::Clip, "qmf", "Movantis clip", "a Movantis clip", "qmf", true, true, true, kOptFrames | kOptStep},
        {Format::MayaAscii, "ma", "Maya ASCII", "a Maya ASCII scene", "ma", true, true, true, kOptFrames | kOptStep},
        // A capture is read through the translator's writer (Routes.h), hence --plugin.
        {Format::Bvh, "bvh", "BVH", "a BVH file", "bvh", true, true, true, kOptUnit | kOptPlugin | kOptFrames | kOptStep},
        {Format::Fbx, "fbx", "FBX", "an FBX file", "fbx", true, false, true, kAssimpOptions},
        {Format::Gltf, "glb", "glTF", "a glTF file", "glb gltf", true, true, true, kAssimpOptions},
        {Format::Collada, "dae", "Collada", "a Collada file", "dae", true, false, true, kAssimpOptions},
        // What else the library reads that may hold a skeleton; they state no unit, hence --unit.
        {Format::Assimp, "x", "3D", "another 3D file the assimp library reads",
         "x smd md5mesh ms3d b3d ogex 3ds ase iqm ac irrmesh lwo lws mdl md2 md3", true, false, true, kAssimpOptions | kOptUnit},
    };
    return kFormats;
}

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool hasExtension(const FormatRow& r, const std::string& ext) {
    const std::string list = std::string(" ") + r.extensions + " ";
    return list.find(" " + ext + " ") != std::string::npos;
}

// The first word of a text file, after a byte order mark and blanks.
bool startsWith(const std::string& head, const char* word) {
    std::size_t i = head.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    while (i < head.size() && (head[i] == ' ' || head[i] == '\t' || head[i] == '\r' || head[i] == '\n')) ++i;
    return head.compare(i, std::string(word).size(), word) == 0;
}

bool isMovantis(const std::string& path) {
    startLibrary();
    FM_FILE_IDENTIFIER_TYPE id{};
    const std::string abs = absolute(path);
    if (abs.size() >= FM_PATH_CAPACITY || !fm_path_name_to_file_id_f(abs.c_str(), &id)) return false;
    const auto kind = dc_file_document_kind_get_f(&id);
    return kind != DC_KIND_FOREIGN && kind != DC_KIND_UNREADABLE;
}

}  // namespace

const std::vector<FormatRow>& formatTable() { return table(); }

const FormatRow& row(Format f) {
    for (const FormatRow& r : table())
        if (r.id == f) return r;
    return table().front();
}

bool formatOfName(const std::string& path, Format& format) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
    const std::string ext = lower(path.substr(dot + 1));
    for (const FormatRow& r : table())
        if (hasExtension(r, ext)) {
            format = r.id;
            return true;
        }
    return false;
}

bool formatOfContent(const std::string& path, Format& format) {
    std::string head(64, '\0');
    {
        std::ifstream in(path, std::ios::binary);
        in.read(head.data(), static_cast<std::streamsize>(head.size()));
        head.resize(static_cast<std::size_t>(in.gcount()));
    }
    if (startsWith(head, "HIERARCHY")) format = Format::Bvh;
    else if (head.rfind("Kaydara FBX Binary", 0) == 0 || startsWith(head, "; FBX")) format = Format::Fbx;
    else if (head.rfind("glTF", 0) == 0) format = Format::Gltf;
    else if (startsWith(head, "//Maya ASCII")) format = Format::MayaAscii;
    else if (isMovantis(path)) format = Format::Clip;
    else return formatOfName(path, format);
    return true;
}

std::string extensionHint() {
    // Captures first: they are what most conversions start from.
    std::string s = "(use ";
    const Format order[] = {Format::Bvh, Format::Clip, Format::MayaAscii, Format::Fbx, Format::Gltf, Format::Collada};
    const std::size_t n = sizeof order / sizeof order[0];
    for (std::size_t i = 0; i < n; ++i) s += std::string(i == 0 ? "" : i + 1 == n ? " or " : ", ") + "." + row(order[i]).key;
    return s + ")";
}

std::string viewableList() {
    std::vector<const FormatRow*> rows;
    for (const FormatRow& r : table())
        if (r.view) rows.push_back(&r);
    std::string s;
    for (std::size_t i = 0; i < rows.size(); ++i)
        s += std::string(i == 0 ? "" : i + 1 == rows.size() ? " or " : ", ") + rows[i]->description;
    return s;
}

}  // namespace qmf::formats
