#include "kell_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <sstream>

#include "crc32c.h"

namespace kelltest {

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kell-test-XXXXXX").string();
    if (!mkdtemp(&tmpl[0])) throw std::runtime_error("mkdtemp failed");
    dir_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

std::vector<std::string> TempDir::entries() const {
    std::vector<std::string> names;
    for (const auto &e : std::filesystem::directory_iterator(dir_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<uint8_t> readBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

FM_FILE_IDENTIFIER_TYPE identifierFor(const std::string &path) {
    FM_FILE_IDENTIFIER_TYPE id;
    EXPECT_TRUE(fm_path_name_to_file_id_f(path.c_str(), &id)) << path;
    return id;
}

float floatFromBits(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

uint32_t bitsOf(float f) {
    uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}

namespace {

void put(std::ostream &o, float f) { o << std::hex << std::setw(8) << std::setfill('0') << bitsOf(f) << std::dec << ' '; }
void put(std::ostream &o, const coord3 &c) {
    put(o, c.x);
    put(o, c.y);
    put(o, c.z);
}
void put(std::ostream &o, const quaternion &q) {
    put(o, q.f0);
    put(o, q.f1);
    put(o, q.f2);
    put(o, q.f3);
}

std::string skeletonName(SKL_SKELETON_HANDLE s, bool completion) {
    const int32_t n = completion ? skl_skeleton_completed_name_get_f(s, nullptr, 0) : skl_skeleton_name_get_f(s, nullptr, 0);
    std::string name(static_cast<size_t>(n) + 1, '\0');
    if (completion) skl_skeleton_completed_name_get_f(s, &name[0], name.size());
    else skl_skeleton_name_get_f(s, &name[0], name.size());
    name.resize(static_cast<size_t>(n));
    return name;
}

void dumpSkeleton(std::ostream &o, SKL_SKELETON_HANDLE s) {
    o << "skeleton '" << skeletonName(s, false) << "' completed " << int(skl_skeleton_completed_get_f(s)) << " '"
      << skeletonName(s, true) << "'\n";
    const int32_t joints = skl_skeleton_number_of_joints_get_f(s);
    for (SKL_JOINT_ID j = 0; j < joints; ++j) {
        char name[SKL_JOINT_NAME_CAPACITY];
        skl_skeleton_joint_name_get(s, j, name);
        coord3 offset;
        quaternion orientation;
        EXPECT_TRUE(skl_skeleton_offset_get_f(s, j, &offset));
        EXPECT_TRUE(skl_skeleton_joint_orientation_get_f(s, j, &orientation));
        o << " joint " << j << " '" << name << "' parent " << skl_skeleton_parent_get_f(s, j) << " root "
          << int(skl_skeleton_root_get_f(s, j)) << " offset ";
        put(o, offset);
        o << "orientation ";
        put(o, orientation);
        POB_PART_OBJECT_HANDLE p = skl_skeleton_part_object_get_f(s, j);
        if (!p) {
            o << "no part\n";
            continue;
        }
        o << "part:";
        const int32_t prims = pob_part_object_number_of_primitives_get_f(p);
        for (int32_t i = 0; i < prims; ++i) {
            POB_PRIMITIVE prim;
            EXPECT_TRUE(pob_part_object_primitive_get_f(p, i, &prim));
            o << (prim.kind == POB_PRIMITIVE_SPHERE ? " sphere " : " bone ");
            put(o, prim.radius);
            put(o, prim.length);
            put(o, prim.direction);
        }
        coord3 lo, hi;
        if (pob_part_object_bounds_get_f(p, &lo, &hi)) {
            o << " bounds ";
            put(o, lo);
            put(o, hi);
        }
        o << '\n';
    }
}

}  // namespace

std::string dump(ANM_ANIMATION_HANDLE a) {
    std::ostringstream o;
    const int32_t count = anm_animation_number_of_frames_get_f(a);
    o << "rate ";
    put(o, anm_animation_frame_rate_get_f(a));
    o << "frames " << count << '\n';
    std::vector<SKL_SKELETON_HANDLE> seen;
    const int32_t figures = anm_animation_number_of_figures_get_f(a);
    for (int32_t i = 0; i < figures; ++i) {
        FIG_FIGURE_HANDLE f = anm_animation_figure_get_by_index_f(a, i);
        SKL_SKELETON_HANDLE s = fig_figure_get_skel(f);
        auto at = std::find(seen.begin(), seen.end(), s);
        o << "figure " << i << " skeleton #" << (at - seen.begin()) << '\n';
        if (at == seen.end()) {
            seen.push_back(s);
            dumpSkeleton(o, s);
        }
        for (int32_t c = 1; c <= 3; ++c) {
            o << " channel " << c << ':';
            int32_t next = fgf_frame_value_next_key_f(f, c, 0), keys = 0;
            for (int32_t fr = 0; fr <= count; ++fr) {
                if (!fgf_frame_value_key_f(f, fr, c)) {
                    EXPECT_NE(next, fr);
                    continue;
                }
                EXPECT_EQ(next, fr) << "key iteration disagrees with the key test";
                next = fgf_frame_value_next_key_f(f, c, fr + 1);
                ++keys;
                o << ' ' << fr << '=';
                put(o, fgf_frame_value_get_f(f, fr, c));
            }
            EXPECT_EQ(next, -1);
            EXPECT_EQ(keys, fgf_frame_value_key_count_f(f, c));
            o << '\n';
        }
        const int32_t joints = skl_skeleton_number_of_joints_get_f(s);
        for (SKL_JOINT_ID j = 0; j < joints; ++j) {
            o << " joint " << j << ':';
            int32_t next = fgf_frame_joint_orientation_next_key_f(f, j, 0), keys = 0;
            for (int32_t fr = 0; fr <= count; ++fr) {
                if (!fgf_frame_joint_orientation_key_f(f, fr, j, 0)) {
                    EXPECT_NE(next, fr);
                    continue;
                }
                EXPECT_EQ(next, fr) << "key iteration disagrees with the key test";
                next = fgf_frame_joint_orientation_next_key_f(f, j, fr + 1);
                ++keys;
                quaternion q;
                fgf_frame_joint_orientation_get(f, fr, j, &q, 1);
                o << ' ' << fr << '=';
                put(o, q);
            }
            EXPECT_EQ(next, -1);
            EXPECT_EQ(keys, fgf_frame_joint_orientation_key_count_f(f, j));
            o << '\n';
        }
    }
    return o.str();
}

ANM_ANIMATION_HANDLE rebuild(ANM_ANIMATION_HANDLE src) {
    ANM_ANIMATION_HANDLE a = anm_animation_create_f();
    EXPECT_TRUE(anm_animation_frame_rate_set_f(a, anm_animation_frame_rate_get_f(src)));
    const int32_t count = anm_animation_number_of_frames_get_f(src);
    EXPECT_TRUE(anm_animation_number_of_frames_set_f(a, count));
    std::vector<std::pair<SKL_SKELETON_HANDLE, SKL_SKELETON_HANDLE>> made;
    for (int32_t i = 0; i < anm_animation_number_of_figures_get_f(src); ++i) {
        FIG_FIGURE_HANDLE sf = anm_animation_figure_get_by_index_f(src, i);
        SKL_SKELETON_HANDLE ss = fig_figure_get_skel(sf);
        SKL_SKELETON_HANDLE ds = nullptr;
        for (auto &m : made)
            if (m.first == ss) ds = m.second;
        const int32_t joints = skl_skeleton_number_of_joints_get_f(ss);
        if (!ds) {
            ds = skl_skeleton_skel_create_f(skeletonName(ss, false).c_str());
            for (SKL_JOINT_ID j = 0; j < joints; ++j) {
                char name[SKL_JOINT_NAME_CAPACITY];
                skl_skeleton_joint_name_get(ss, j, name);
                EXPECT_EQ(skl_skeleton_joint_create_f(ds, name), j);
            }
            for (SKL_JOINT_ID j = 0; j < joints; ++j) {
                skl_skeleton_parent_set(ds, j, skl_skeleton_parent_get_f(ss, j));
                if (skl_skeleton_root_get_f(ss, j)) skl_skeleton_root_set(ds, j);
                coord3 offset;
                quaternion q;
                skl_skeleton_offset_get_f(ss, j, &offset);
                skl_skeleton_joint_orientation_get_f(ss, j, &q);
                skl_skeleton_offset_set(ds, j, offset);
                skl_skeleton_joint_orientation_set(ds, j, &q);
                if (POB_PART_OBJECT_HANDLE sp = skl_skeleton_part_object_get_f(ss, j)) {
                    POB_PART_OBJECT_HANDLE dp = pob_part_object_obj_create_f(0);
                    for (int32_t k = 0; k < pob_part_object_number_of_primitives_get_f(sp); ++k) {
                        POB_PRIMITIVE prim;
                        pob_part_object_primitive_get_f(sp, k, &prim);
                        if (prim.kind == POB_PRIMITIVE_SPHERE) {
                            EXPECT_TRUE(pob_part_object_sphere_add(dp, prim.radius, 0));
                        } else {
                            EXPECT_TRUE(pob_part_object_bone_add(dp, prim.length, &prim.direction));
                        }
                    }
                    EXPECT_TRUE(skl_skeleton_part_object_attach_f(ds, j, dp));
                    coord3 lo, hi;
                    if (pob_part_object_bounds_get_f(sp, &lo, &hi)) {
                        EXPECT_TRUE(pob_part_object_bounds_set_f(dp, &lo, &hi));
                    }
                }
            }
            if (skl_skeleton_completed_get_f(ss)) skl_skeleton_skel_completed_f(ds, skeletonName(ss, true).c_str());
            made.emplace_back(ss, ds);
        }
        FIG_FIGURE_HANDLE df = anm_animation_figure_add_f(a, ds, 0);
        EXPECT_NE(df, nullptr);
        for (int32_t c = 1; c <= 3; ++c)
            for (int32_t fr = fgf_frame_value_next_key_f(sf, c, 0); fr >= 0; fr = fgf_frame_value_next_key_f(sf, c, fr + 1))
                EXPECT_TRUE(fgf_frame_value_set_f(df, fr, c, fgf_frame_value_get_f(sf, fr, c)));
        for (SKL_JOINT_ID j = 0; j < joints; ++j)
            for (int32_t fr = fgf_frame_joint_orientation_next_key_f(sf, j, 0); fr >= 0;
                 fr = fgf_frame_joint_orientation_next_key_f(sf, j, fr + 1)) {
                quaternion q;
                fgf_frame_joint_orientation_get(sf, fr, j, &q, 1);
                EXPECT_TRUE(fgf_frame_joint_orientation_set_f(df, fr, j, &q));
            }
    }
    return a;
}

std::vector<uint8_t> saveBytes(ANM_ANIMATION_HANDLE a, const std::string &path) {
    FM_FILE_IDENTIFIER_TYPE id = identifierFor(path);
    if (!anm_animation_save_as_f(a, &id, 0, nullptr)) return {};
    return readBytes(path);
}

ANM_ANIMATION_HANDLE openPath(const std::string &path) {
    FM_FILE_IDENTIFIER_TYPE id = identifierFor(path);
    return anm_animation_open_f(&id, 1);
}

namespace {

// Values that stress bit-exactness; NaNs with payloads and both signs.
const uint32_t kOddBits[] = {0x80000000u, 0x7FC00001u, 0xFFA12345u, 0x7F800000u,
                             0xFF800000u, 0x00000001u, 0x807FFFFFu, 0x3F800000u};

float valueFor(const Sample &shape, int figure, int track, int frame, int lane) {
    if (shape.oddFloats) return floatFromBits(kOddBits[(figure + track + frame + lane) % 8]);
    return static_cast<float>(figure * 1000 + track * 10 + lane) + static_cast<float>(frame) / 64.0f;
}

bool keyed(const Sample &shape, int track, int frame) {
    switch (shape.keys) {
    case Keys::None: return false;
    case Keys::Dense: return true;
    case Keys::Bitmap: return (frame + track) % 3 != 0;             // two thirds: a bitmap is cheaper
    case Keys::List: return frame % 97 == track % 97;              // a few: a frame list is cheaper
    case Keys::Boundary: return frame == 0 || frame == shape.frames - 1;
    }
    return false;
}

}  // namespace

ANM_ANIMATION_HANDLE makeSample(const Sample &shape) {
    ANM_ANIMATION_HANDLE a = anm_animation_create_f();
    EXPECT_TRUE(anm_animation_frame_rate_set_f(a, 24.0f));
    EXPECT_TRUE(anm_animation_number_of_frames_set_f(a, shape.frames));
    SKL_SKELETON_HANDLE shared = nullptr;
    for (int fig = 0; fig < shape.figures; ++fig) {
        SKL_SKELETON_HANDLE s = shared;
        if (!s) {
            s = skl_skeleton_skel_create_f(shape.skeletonName.c_str());
            for (int j = 0; j < shape.joints; ++j) {
                const std::string name = "joint" + std::to_string(fig) + "_" + std::to_string(j);
                EXPECT_EQ(skl_skeleton_joint_create_f(s, name.c_str()), j);
                if (j < shape.roots) skl_skeleton_root_set(s, static_cast<SKL_JOINT_ID>(j));
                else skl_skeleton_parent_set(s, static_cast<SKL_JOINT_ID>(j), static_cast<SKL_JOINT_ID>((j - 1) / 2));
                skl_skeleton_offset_set(s, static_cast<SKL_JOINT_ID>(j),
                                        coord3{valueFor(shape, fig, j, 0, 0), -0.0f, valueFor(shape, fig, j, 1, 2)});
                const quaternion q{valueFor(shape, fig, j, 2, 0), 0.5f, -0.5f, valueFor(shape, fig, j, 3, 3)};
                skl_skeleton_joint_orientation_set(s, static_cast<SKL_JOINT_ID>(j), &q);
                if (!shape.parts) continue;
                POB_PART_OBJECT_HANDLE p = pob_part_object_obj_create_f(0);
                EXPECT_TRUE(pob_part_object_sphere_add(p, 0.0f, 0));
                const coord3 dir{0.6f, 0.8f, -0.0f};
                EXPECT_TRUE(pob_part_object_bone_add(p, valueFor(shape, fig, j, 4, 1), &dir));
                EXPECT_TRUE(pob_part_object_sphere_add(p, 0.25f, 0));
                EXPECT_TRUE(skl_skeleton_part_object_attach_f(s, static_cast<SKL_JOINT_ID>(j), p));
                if (j % 2 == 0) pob_part_object_bounds_calc(p);  // odd joints keep no bounds
            }
            skl_skeleton_skel_completed_f(s, (shape.skeletonName + "-done").c_str());
            if (shape.shareSkeleton) shared = s;
        }
        FIG_FIGURE_HANDLE f = anm_animation_figure_add_f(a, s, 0);
        EXPECT_NE(f, nullptr);
        for (int fr = 0; fr < shape.frames; ++fr) {
            for (int c = 1; c <= 3; ++c)
                if (keyed(shape, c, fr)) {
                    EXPECT_TRUE(fgf_frame_value_set_f(f, fr, c, valueFor(shape, fig, c, fr, 0)));
                }
            for (int j = 0; j < shape.joints; ++j) {
                if (!keyed(shape, j + 4, fr)) continue;
                const quaternion q{valueFor(shape, fig, j, fr, 0), valueFor(shape, fig, j, fr, 1),
                                   valueFor(shape, fig, j, fr, 2), valueFor(shape, fig, j, fr, 3)};
                EXPECT_TRUE(fgf_frame_joint_orientation_set_f(f, fr, static_cast<SKL_JOINT_ID>(j), &q));
            }
        }
    }
    return a;
}

std::vector<Section> sectionsOf(const std::vector<uint8_t> &file) {
    std::vector<Section> out;
    if (file.size() < 32) return out;
    uint32_t count;
    std::memcpy(&count, file.data() + 24, 4);
    size_t pos = 32;
    for (uint32_t i = 0; i < count && pos + 16 <= file.size(); ++i) {
        Section s{};
        std::memcpy(&s.tag, file.data() + pos, 4);
        uint64_t length;
        std::memcpy(&length, file.data() + pos + 8, 8);
        s.headerAt = pos;
        s.payloadAt = pos + 16;
        s.length = static_cast<size_t>(length);
        out.push_back(s);
        if (length > file.size() - s.payloadAt) break;  // overruns: nothing after it can be found
        pos = s.payloadAt + s.length;
    }
    return out;
}

void reseal(std::vector<uint8_t> &file) {
    for (const Section &s : sectionsOf(file)) {
        if (s.payloadAt > file.size() || s.length > file.size() - s.payloadAt) break;
        const uint32_t crc = kell::crc32c(0, file.data() + s.payloadAt, s.length);
        std::memcpy(file.data() + s.headerAt + 4, &crc, 4);
    }
    const uint64_t size = file.size();
    std::memcpy(file.data() + 16, &size, 8);
    const uint32_t crc = kell::crc32c(0, file.data(), 28);
    std::memcpy(file.data() + 28, &crc, 4);
}

}  // namespace kelltest
