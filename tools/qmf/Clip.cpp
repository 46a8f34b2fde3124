#include "Clip.h"

#include "fileio/SafeFile.h"

#include <kell.h>
#include <kell_authoring.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <sstream>
#include <unistd.h>

using json = qmf::Json;

namespace qmf {

namespace {

std::string absolutePath(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char buf[PATH_MAX];
    if (!getcwd(buf, sizeof buf)) throw CommandError("cannot find the current folder: " + std::string(std::strerror(errno)));
    return std::string(buf) + "/" + path;
}

FM_FILE_IDENTIFIER_TYPE fileId(const std::string& path) {
    FM_FILE_IDENTIFIER_TYPE id{};
    std::string abs = absolutePath(path);
    if (abs.size() >= FM_PATH_CAPACITY || !fm_path_name_to_file_id_f(abs.c_str(), &id))
        throw CommandError(path + ": path too long for the animation library");
    return id;
}

std::string lastLibraryError() {
    const char* m = kell_last_error_message();
    return m && *m ? std::string(m) : std::string("the animation library gave no reason");
}

template <typename Getter>
std::string libraryString(Getter get) {
    int32_t n = get(nullptr, 0);
    if (n <= 0) return std::string();
    std::string s(static_cast<std::size_t>(n) + 1, '\0');
    get(s.data(), s.size());
    s.resize(static_cast<std::size_t>(n));
    return s;
}

json vec3(const coord3& c) { return json::array({floatToJson(c.x), floatToJson(c.y), floatToJson(c.z)}); }
json quat(const quaternion& q) {
    return json::array({floatToJson(q.f0), floatToJson(q.f1), floatToJson(q.f2), floatToJson(q.f3)});
}

json dumpSkeleton(SKL_SKELETON_HANDLE sk) {
    json s;
    s["name"] = libraryString([&](char* b, size_t n) { return skl_skeleton_name_get_f(sk, b, n); });
    s["completed"] = skl_skeleton_completed_get_f(sk) != 0;
    if (skl_skeleton_completed_get_f(sk))
        s["completedName"] = libraryString([&](char* b, size_t n) { return skl_skeleton_completed_name_get_f(sk, b, n); });
    int32_t count = skl_skeleton_number_of_joints_get_f(sk);
    json joints = json::array();
    for (int32_t j = 0; j < count; ++j) {
        auto id = static_cast<SKL_JOINT_ID>(j);
        char name[SKL_JOINT_NAME_CAPACITY] = {};
        skl_skeleton_joint_name_get(sk, id, name);
        json jj;
        jj["name"] = std::string(name, strnlen(name, sizeof name));
        jj["parent"] = skl_skeleton_parent_get_f(sk, id);
        jj["root"] = skl_skeleton_root_get_f(sk, id) != 0;
        coord3 off{};
        skl_skeleton_offset_get_f(sk, id, &off);
        jj["offset"] = vec3(off);
        quaternion q{};
        skl_skeleton_joint_orientation_get_f(sk, id, &q);
        jj["orientation"] = quat(q);
        POB_PART_OBJECT_HANDLE pob = skl_skeleton_part_object_get_f(sk, id);
        if (pob) {
            json body;
            json prims = json::array();
            int32_t np = pob_part_object_number_of_primitives_get_f(pob);
            for (int32_t p = 0; p < np; ++p) {
                POB_PRIMITIVE prim{};
                if (!pob_part_object_primitive_get_f(pob, p, &prim)) continue;
                if (prim.kind == POB_PRIMITIVE_SPHERE)
                    prims.push_back({{"kind", "sphere"}, {"radius", floatToJson(prim.radius)}});
                else
                    prims.push_back({{"kind", "bone"}, {"length", floatToJson(prim.length)}, {"direction", vec3(prim.direction)}});
            }
            body["primitives"] = prims;
            coord3 mn{}, mx{};
            if (pob_part_object_bounds_get_f(pob, &mn, &mx)) body["bounds"] = {{"min", vec3(mn)}, {"max", vec3(mx)}};
            else body["bounds"] = nullptr;
            jj["body"] = body;
        } else {
            jj["body"] = nullptr;
        }
        joints.push_back(jj);
    }
    s["joints"] = joints;
    return s;
}

// Checked access to the JSON form, with the path in every message.
struct Reader {
    std::string file;
    [[noreturn]] void fail(const std::string& where, const std::string& what) const {
        throw CommandError(where + " " + what);
    }
    const json& member(const json& obj, const std::string& where, const char* key) const {
        if (!obj.is_object()) fail(where, "must be an object");
        auto it = obj.find(key);
        if (it == obj.end()) fail(where, std::string("has no \"") + key + "\"");
        return *it;
    }
    const json& array(const json& v, const std::string& where, std::size_t size = SIZE_MAX) const {
        if (!v.is_array()) fail(where, "must be an array");
        if (size != SIZE_MAX && v.size() != size) fail(where, "must have " + std::to_string(size) + " items");
        return v;
    }
    long long integer(const json& v, const std::string& where, long long lo, long long hi) const {
        if (!v.is_number_integer()) fail(where, "must be an integer");
        long long n = v.is_number_unsigned() ? static_cast<long long>(std::min<unsigned long long>(v.get<unsigned long long>(), LLONG_MAX))
                                             : v.get<long long>();
        if (n < lo || n > hi) fail(where, "must be from " + std::to_string(lo) + " to " + std::to_string(hi));
        return n;
    }
    std::string string(const json& v, const std::string& where) const {
        if (!v.is_string()) fail(where, "must be a string");
        return v.get<std::string>();
    }
    bool boolean(const json& v, const std::string& where) const {
        if (!v.is_boolean()) fail(where, "must be true or false");
        return v.get<bool>();
    }
    float number(const json& v, const std::string& where) const {
        return floatFromJson(v, where);
    }
    coord3 vec(const json& v, const std::string& where) const {
        array(v, where, 3);
        return coord3{number(v[0], where + "[0]"), number(v[1], where + "[1]"), number(v[2], where + "[2]")};
    }
    quaternion quat(const json& v, const std::string& where) const {
        array(v, where, 4);
        return quaternion{number(v[0], where + "[0]"), number(v[1], where + "[1]"), number(v[2], where + "[2]"),
                          number(v[3], where + "[3]")};
    }
};

}  // namespace

void startLibrary() {
    static bool started = false;
    if (started) return;
    if (!mvl_movantis_lib_initialize_lite_f()) throw CommandError("the animation library did not start");
    started = true;
}

json floatToJson(float v) {
    if (std::isnan(v)) {
        uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        if (bits == 0x7fc00000u) return "nan";
        char buf[32];
        std::snprintf(buf, sizeof buf, "nan:0x%08x", bits);
        return buf;
    }
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
    if (static_cast<float>(std::strtod(buf, nullptr)) != v)
        std::snprintf(buf, sizeof buf, "%.17g", static_cast<double>(v));  // exact value of the float
    double d = std::strtod(buf, nullptr);
    if (d == 0 && std::signbit(v)) return json(-0.0);
    return json(d);
}

float floatFromJson(const json& v, const std::string& where) {
    if (v.is_number()) {
        double d = v.get<double>();
        if (std::isfinite(d) && std::fabs(d) > 3.4028235677973366e38)
            throw CommandError(where + " is out of range for a float");
        return static_cast<float>(d);
    }
    if (v.is_string()) {
        std::string s = v.get<std::string>();
        if (s == "inf") return INFINITY;
        if (s == "-inf") return -INFINITY;
        if (s == "nan") return NAN;
        if (s.rfind("nan:0x", 0) == 0 && s.size() == 14) {
            char* end = nullptr;
            unsigned long bits = std::strtoul(s.c_str() + 6, &end, 16);
            float f;
            uint32_t b = static_cast<uint32_t>(bits);
            std::memcpy(&f, &b, sizeof f);
            if (*end == '\0' && std::isnan(f)) return f;
        }
    }
    throw CommandError(where + " must be a number (or \"inf\", \"-inf\", \"nan\")");
}

namespace {

ANM_ANIMATION_HANDLE openClip(const std::string& path) {
    startLibrary();
    if (access(path.c_str(), F_OK) != 0) throw CommandError(path + ": no such file");
    FM_FILE_IDENTIFIER_TYPE id = fileId(path);
    int16_t kind = dc_file_document_kind_get_f(&id);
    if (kind == DC_KIND_UNREADABLE) throw CommandError(path + ": unreadable or damaged: " + lastLibraryError());
    if (kind == DC_KIND_FOREIGN) throw CommandError(path + ": not a Movantis file");
    if (kind != DC_KIND_MOVANTIS_ANIMATION) throw CommandError(path + ": a Movantis document, but not an animation");
    ANM_ANIMATION_HANDLE anm = anm_animation_open_f(&id, 1);  // read-only open, as the translator does
    if (anm == ANM_INVALID_ANIMATION || anm == nullptr) throw CommandError(path + ": damaged animation: " + lastLibraryError());
    return anm;
}

}  // namespace

void checkClip(const std::string& path) { anm_animation_dispose(openClip(path)); }

json dumpClip(const std::string& path) {
    ANM_ANIMATION_HANDLE anm = openClip(path);

    json out;
    out["format"] = "movantis-animation";
    out["version"] = 1;
    out["frameRate"] = floatToJson(anm_animation_frame_rate_get_f(anm));
    int32_t frames = anm_animation_number_of_frames_get_f(anm);
    out["frameCount"] = frames;
    std::vector<SKL_SKELETON_HANDLE> skeletons;
    json figures = json::array();
    int32_t nfig = anm_animation_number_of_figures_get_f(anm);
    for (int32_t f = 0; f < nfig; ++f) {
        FIG_FIGURE_HANDLE fig = anm_animation_figure_get_by_index_f(anm, f);
        SKL_SKELETON_HANDLE sk = fig ? fig_figure_get_skel(fig) : nullptr;
        json fj;
        std::size_t index = 0;
        while (index < skeletons.size() && skeletons[index] != sk) ++index;
        if (index == skeletons.size()) skeletons.push_back(sk);
        fj["skeleton"] = index;
        json channels = json::object();
        for (int32_t c = 1; c <= 3; ++c) {
            json keys = json::array();
            for (int32_t k = fgf_frame_value_next_key_f(fig, c, 0); k >= 0; k = fgf_frame_value_next_key_f(fig, c, k + 1)) {
                keys.push_back(json::array({k, floatToJson(fgf_frame_value_get_f(fig, k, c))}));
                if (k == INT32_MAX) break;
            }
            channels[std::to_string(c)] = keys;
        }
        fj["channels"] = channels;
        json orient = json::array();
        int32_t nj = sk ? skl_skeleton_number_of_joints_get_f(sk) : 0;
        for (int32_t j = 0; j < nj; ++j) {
            auto jid = static_cast<SKL_JOINT_ID>(j);
            json keys = json::array();
            for (int32_t k = fgf_frame_joint_orientation_next_key_f(fig, jid, 0); k >= 0;
                 k = fgf_frame_joint_orientation_next_key_f(fig, jid, k + 1)) {
                quaternion q{};
                fgf_frame_joint_orientation_get(fig, k, jid, &q, 0);
                keys.push_back(json::array({k, floatToJson(q.f0), floatToJson(q.f1), floatToJson(q.f2), floatToJson(q.f3)}));
                if (k == INT32_MAX) break;
            }
            if (!keys.empty()) orient.push_back({{"joint", j}, {"keys", keys}});
        }
        fj["orientations"] = orient;
        figures.push_back(fj);
    }
    json sks = json::array();
    for (auto sk : skeletons) sks.push_back(sk ? dumpSkeleton(sk) : json(nullptr));
    out["skeletons"] = sks;
    out["figures"] = figures;
    anm_animation_dispose(anm);
    return out;
}

std::string describeClip(const json& clip) {
    std::ostringstream o;
    auto num = [](const json& v) { return v.is_string() ? v.get<std::string>() : v.dump(); };
    o << "frame rate: " << num(clip["frameRate"]) << " frames/s\n";
    o << "frames: " << clip["frameCount"].get<long long>() << "\n";
    o << "figures: " << clip["figures"].size() << "\n";
    const json& sks = clip["skeletons"];
    for (std::size_t f = 0; f < clip["figures"].size(); ++f) {
        const json& fig = clip["figures"][f];
        std::size_t si = fig["skeleton"].get<std::size_t>();
        o << "figure " << f << ": skeleton " << si << "\n";
        const json& ch = fig["channels"];
        o << "  root translation keys: x " << ch["1"].size() << ", y " << ch["2"].size() << ", z " << ch["3"].size() << "\n";
        if (si >= sks.size() || sks[si].is_null()) continue;
        const json& sk = sks[si];
        std::map<long long, std::size_t> keyCount;
        for (const auto& o2 : fig["orientations"]) keyCount[o2["joint"].get<long long>()] = o2["keys"].size();
        o << "  skeleton \"" << sk["name"].get<std::string>() << "\"" << (sk["completed"].get<bool>() ? "" : " (not completed)")
          << ", " << sk["joints"].size() << " joints:\n";
        const json& joints = sk["joints"];
        std::vector<int> depth(joints.size(), 0);
        for (std::size_t j = 0; j < joints.size(); ++j) {
            long long p = joints[j]["parent"].get<long long>();
            if (p >= 0 && static_cast<std::size_t>(p) < j) depth[j] = depth[static_cast<std::size_t>(p)] + 1;
            const json& jj = joints[j];
            o << "  " << std::string(static_cast<std::size_t>(2 * depth[j] + 2), ' ') << j << " " << jj["name"].get<std::string>()
              << (jj["root"].get<bool>() ? " (root)" : "") << "  offset (" << num(jj["offset"][0]) << ", " << num(jj["offset"][1])
              << ", " << num(jj["offset"][2]) << ")  orientation (" << num(jj["orientation"][0]) << ", "
              << num(jj["orientation"][1]) << ", " << num(jj["orientation"][2]) << ", " << num(jj["orientation"][3]) << ")"
              << "  keys " << keyCount[static_cast<long long>(j)] << "\n";
            const json& body = jj["body"];
            if (body.is_null()) continue;
            std::string pad(static_cast<std::size_t>(2 * depth[j] + 6), ' ');
            for (const auto& p : body["primitives"]) {
                if (p["kind"] == "sphere") o << "  " << pad << "sphere radius " << num(p["radius"]) << "\n";
                else o << "  " << pad << "bone length " << num(p["length"]) << " direction (" << num(p["direction"][0]) << ", "
                       << num(p["direction"][1]) << ", " << num(p["direction"][2]) << ")\n";
            }
            if (!body["bounds"].is_null())
                o << "  " << pad << "bounds (" << num(body["bounds"]["min"][0]) << ", " << num(body["bounds"]["min"][1]) << ", "
                  << num(body["bounds"]["min"][2]) << ") to (" << num(body["bounds"]["max"][0]) << ", "
                  << num(body["bounds"]["max"][1]) << ", " << num(body["bounds"]["max"][2]) << ")\n";
        }
    }
    return o.str();
}

void packClip(const json& clip, const std::string& path) {
    Reader r{path};
    const std::string top = "the document";
    if (!clip.is_object()) r.fail(top, "must be a JSON object");
    float rate = r.number(r.member(clip, top, "frameRate"), "frameRate");
    auto frames = static_cast<int32_t>(r.integer(r.member(clip, top, "frameCount"), "frameCount", 0, KELL_MAX_FRAMES));
    const json& sks = r.array(r.member(clip, top, "skeletons"), "skeletons");
    const json& figs = r.array(r.member(clip, top, "figures"), "figures");
    if (figs.size() > KELL_MAX_FIGURES) r.fail("figures", "has more than " + std::to_string(KELL_MAX_FIGURES) + " items");

    startLibrary();
    ANM_ANIMATION_HANDLE anm = anm_animation_create_f();
    if (!anm) throw CommandError("the animation library could not create an animation");
    // The animation owns everything added to it; dispose of it on every way out.
    struct Guard {
        ANM_ANIMATION_HANDLE a;
        ~Guard() { anm_animation_dispose(a); }
    } guard{anm};
    if (!anm_animation_frame_rate_set_f(anm, rate)) r.fail("frameRate", "is refused by the library (it must be above 0)");
    if (!anm_animation_number_of_frames_set_f(anm, frames)) r.fail("frameCount", "is refused by the library");

    std::vector<SKL_SKELETON_HANDLE> skeletons;
    for (std::size_t s = 0; s < sks.size(); ++s) {
        std::string where = "skeletons[" + std::to_string(s) + "]";
        const json& sj = sks[s];
        std::string name = r.string(r.member(sj, where, "name"), where + ".name");
        SKL_SKELETON_HANDLE sk = skl_skeleton_skel_create_f(name.c_str());
        if (!sk) r.fail(where + ".name", "is refused by the library");
        skeletons.push_back(sk);
        const json& joints = r.array(r.member(sj, where, "joints"), where + ".joints");
        if (joints.size() > KELL_MAX_JOINTS) r.fail(where + ".joints", "has too many joints");
        for (std::size_t j = 0; j < joints.size(); ++j) {
            std::string jw = where + ".joints[" + std::to_string(j) + "]";
            std::string jn = r.string(r.member(joints[j], jw, "name"), jw + ".name");
            SKL_JOINT_ID id = skl_skeleton_joint_create_f(sk, jn.c_str());
            if (id != static_cast<SKL_JOINT_ID>(j)) r.fail(jw + ".name", "is refused by the library (1 to 127 bytes, unique)");
        }
        for (std::size_t j = 0; j < joints.size(); ++j) {
            std::string jw = where + ".joints[" + std::to_string(j) + "]";
            const json& jj = joints[j];
            auto id = static_cast<SKL_JOINT_ID>(j);
            auto parent = r.integer(r.member(jj, jw, "parent"), jw + ".parent", -1, static_cast<long long>(joints.size()) - 1);
            if (parent >= 0) skl_skeleton_parent_set(sk, id, static_cast<SKL_JOINT_ID>(parent));
            if (r.boolean(r.member(jj, jw, "root"), jw + ".root")) skl_skeleton_root_set(sk, id);
            skl_skeleton_offset_set(sk, id, r.vec(r.member(jj, jw, "offset"), jw + ".offset"));
            quaternion q = r.quat(r.member(jj, jw, "orientation"), jw + ".orientation");
            skl_skeleton_joint_orientation_set(sk, id, &q);
            const json& body = r.member(jj, jw, "body");
            if (body.is_null()) continue;
            POB_PART_OBJECT_HANDLE pob = pob_part_object_obj_create_f(0);
            if (!pob) throw CommandError("the animation library could not create a body volume");
            const json& prims = r.array(r.member(body, jw + ".body", "primitives"), jw + ".body.primitives");
            if (prims.size() > KELL_MAX_PRIMITIVES) r.fail(jw + ".body.primitives", "has too many items");
            for (std::size_t p = 0; p < prims.size(); ++p) {
                std::string pw = jw + ".body.primitives[" + std::to_string(p) + "]";
                std::string kind = r.string(r.member(prims[p], pw, "kind"), pw + ".kind");
                KL_BOOL ok = 0;
                if (kind == "sphere") {
                    ok = pob_part_object_sphere_add(pob, r.number(r.member(prims[p], pw, "radius"), pw + ".radius"), 0);
                } else if (kind == "bone") {
                    coord3 dir = r.vec(r.member(prims[p], pw, "direction"), pw + ".direction");
                    ok = pob_part_object_bone_add(pob, r.number(r.member(prims[p], pw, "length"), pw + ".length"), &dir);
                } else {
                    r.fail(pw + ".kind", "must be \"sphere\" or \"bone\"");
                }
                if (!ok) r.fail(pw, "is refused by the library");
            }
            const json& bounds = r.member(body, jw + ".body", "bounds");
            if (!bounds.is_null()) {
                coord3 mn = r.vec(r.member(bounds, jw + ".body.bounds", "min"), jw + ".body.bounds.min");
                coord3 mx = r.vec(r.member(bounds, jw + ".body.bounds", "max"), jw + ".body.bounds.max");
                if (!pob_part_object_bounds_set_f(pob, &mn, &mx)) r.fail(jw + ".body.bounds", "is refused by the library");
            }
            if (!skl_skeleton_part_object_attach_f(sk, id, pob)) r.fail(jw + ".body", "could not be attached");
        }
        if (r.boolean(r.member(sj, where, "completed"), where + ".completed")) {
            std::string cn;
            auto it = sj.find("completedName");
            if (it != sj.end()) cn = r.string(*it, where + ".completedName");
            if (!skl_skeleton_skel_completed_f(sk, cn.c_str())) r.fail(where, "could not be completed by the library");
        }
    }
    for (std::size_t f = 0; f < figs.size(); ++f) {
        std::string where = "figures[" + std::to_string(f) + "]";
        const json& fj = figs[f];
        if (sks.empty()) r.fail(where, "refers to a skeleton, but there are none");
        auto si = static_cast<std::size_t>(r.integer(r.member(fj, where, "skeleton"), where + ".skeleton", 0,
                                                     static_cast<long long>(sks.size()) - 1));
        FIG_FIGURE_HANDLE fig = anm_animation_figure_add_f(anm, skeletons[si], 0);
        if (!fig) r.fail(where, "is refused by the library");
        const json& ch = r.member(fj, where, "channels");
        if (!ch.is_object()) r.fail(where + ".channels", "must be an object");
        for (const auto& [key, keys] : ch.items()) {
            std::string cw = where + ".channels." + key;
            if (key != "1" && key != "2" && key != "3") r.fail(cw, "is not a channel (1, 2 or 3)");
            int32_t c = key[0] - '0';
            r.array(keys, cw);
            for (std::size_t k = 0; k < keys.size(); ++k) {
                std::string kw = cw + "[" + std::to_string(k) + "]";
                r.array(keys[k], kw, 2);
                auto frame = static_cast<int32_t>(r.integer(keys[k][0], kw + "[0]", 0, static_cast<long long>(frames) - 1));
                if (!fgf_frame_value_set_f(fig, frame, c, r.number(keys[k][1], kw + "[1]"))) r.fail(kw, "is refused by the library");
            }
        }
        const json& orient = r.array(r.member(fj, where, "orientations"), where + ".orientations");
        long long nj = static_cast<long long>(sks[si]["joints"].size());
        for (std::size_t o = 0; o < orient.size(); ++o) {
            std::string ow = where + ".orientations[" + std::to_string(o) + "]";
            auto joint = static_cast<SKL_JOINT_ID>(r.integer(r.member(orient[o], ow, "joint"), ow + ".joint", 0, nj - 1));
            const json& keys = r.array(r.member(orient[o], ow, "keys"), ow + ".keys");
            for (std::size_t k = 0; k < keys.size(); ++k) {
                std::string kw = ow + ".keys[" + std::to_string(k) + "]";
                r.array(keys[k], kw, 5);
                auto frame = static_cast<int32_t>(r.integer(keys[k][0], kw + "[0]", 0, static_cast<long long>(frames) - 1));
                quaternion q{r.number(keys[k][1], kw + "[1]"), r.number(keys[k][2], kw + "[2]"), r.number(keys[k][3], kw + "[3]"),
                             r.number(keys[k][4], kw + "[4]")};
                if (!fgf_frame_joint_orientation_set_f(fig, frame, joint, &q)) r.fail(kw, "is refused by the library");
            }
        }
    }
    // Saved beside the output under a temporary name, then put in its place
    // keeping the replaced file's mode and owner and any symlink to it.
    try {
        fileio::TempFile tmp(fileio::checkOutput(path));
        FM_FILE_IDENTIFIER_TYPE id = fileId(tmp.path());
        if (!anm_animation_save_as_f(anm, &id, 0, nullptr)) throw CommandError(path + ": cannot write: " + lastLibraryError());
        tmp.commit();
    } catch (const fileio::Error& e) {
        throw CommandError(e.what());
    }
}

}  // namespace qmf
