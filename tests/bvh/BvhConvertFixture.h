// What the BVH conversion tests share: a folder per test, the translator
// loaded, a small arm capture, and the rotation a BVH frame defines.
#pragma once

#include "formats/Bvh.h"
#include "formats/Error.h"
#include "formats/Routes.h"
#include "clips/Clip.h"
#include "clips/ClipLibrary.h"

#include "bvh/Reader.h"
#include "qmfhost/MaScene.h"

#include <gtest/gtest.h>

#include <kell.h>
#include <kell_authoring.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace bvhtest {

inline const std::string kCorpus = std::string(QMF_CORPUS_DIR) + "/bvh/";
constexpr double kPi = 3.14159265358979323846;

using Quat = std::array<double, 4>;  // w, x, y, z

inline Quat mul(const Quat& a, const Quat& b) {
    return {a[0] * b[0] - a[1] * b[1] - a[2] * b[2] - a[3] * b[3], a[0] * b[1] + a[1] * b[0] + a[2] * b[3] - a[3] * b[2],
            a[0] * b[2] - a[1] * b[3] + a[2] * b[0] + a[3] * b[1], a[0] * b[3] + a[1] * b[2] - a[2] * b[1] + a[3] * b[0]};
}

// A joint's rotation straight from the BVH definition: R(first) R(second)
// R(third), column vectors, degrees.
inline Quat bvhRotation(const bvh::Joint& j, const double* frame) {
    Quat q{1, 0, 0, 0};
    for (std::size_t c = 0; c < j.channels.size(); ++c) {
        if (!bvh::isRotation(j.channels[c])) continue;
        const double half = frame[j.firstChannel + c] * kPi / 360.0;
        Quat r{std::cos(half), 0, 0, 0};
        r[static_cast<std::size_t>(1 + bvh::axisOf(j.channels[c]))] = std::sin(half);
        q = mul(q, r);
    }
    return q;
}

inline double sameRotation(const Quat& a, const Quat& b) {
    return std::fabs(std::fabs(a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3]) - 1.0);
}

class BvhConvert : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/bvh-convert-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        options_.plugin = QMF_PLUGIN;
        qmf::startLibrary();
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(path(name), std::ios::binary) << text;
        return path(name);
    }
    std::string dir_;
    qmf::formats::ConvertOptions options_;
};

inline const char* const kArm =
    "HIERARCHY\n"
    "ROOT hip\n{\n\tOFFSET 10 20 30\n\tCHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
    "\tJOINT arm.L\n\t{\n\t\tOFFSET 0 100 -50\n\t\tCHANNELS 3 Xrotation Yrotation Zrotation\n"
    "\t\tEnd Site\n\t\t{\n\t\t\tOFFSET 0 0 25\n\t\t}\n\t}\n}\n"
    "MOTION\nFrames: 3\nFrame Time: 0.04\n"
    "1 2 3 90 90 0 0 0 0\n"
    "4 5 6 0 0 0 0 90 0\n"
    "7 8 9 0 0 0 179 0 0\n";

struct AnimGuard {
    ANM_ANIMATION_HANDLE a;
    ~AnimGuard() { anm_animation_dispose(a); }
};

}  // namespace bvhtest
