// Every key of a long import checked against values worked out here the
// slow, plain way: matrices from the stored (single precision) quaternions
// and the joint orients, Euler angles read off the matrix entries, and of the
// two angle sets for each matrix, shifted by whole turns, the one the motion
// that made the clip passes through. Joints in all six rotation orders turn
// steadily, so their first and last angles pass +-180 degrees many times.
#include <gtest/gtest.h>

#include <kell.h>
#include <kell_authoring.h>
#include <maya/MEulerRotation.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnIkJoint.h>
#include <maya/MVector.h>
#include <qmfhost/Scene.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "LoadedModuleTest.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int32_t kFrames = 2000;  // keys 0..kFrames: the translator keys the last frame index too
constexpr float kRate = 30.0f;
constexpr int kOrders = 6;

using Mat = std::array<std::array<double, 3>, 3>;

Mat mul(const Mat& a, const Mat& b) {
    Mat m{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 3; ++k) m[r][c] += a[r][k] * b[k][c];
    return m;
}

Mat transpose(const Mat& a) {
    Mat m{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) m[r][c] = a[c][r];
    return m;
}

// Column-vector rotation about axis 0, 1 or 2.
Mat axis(int which, double angle) {
    Mat m{};
    const double c = std::cos(angle), s = std::sin(angle);
    const int a = (which + 1) % 3, b = (which + 2) % 3;
    m[which][which] = 1;
    m[a][a] = c;
    m[a][b] = -s;
    m[b][a] = s;
    m[b][b] = c;
    return m;
}

// Column-vector matrix of quaternion (x, y, z, w), any length.
Mat fromQuaternion(double x, double y, double z, double w) {
    const double n = x * x + y * y + z * z + w * w;
    return Mat{{{1 - 2 * (y * y + z * z) / n, 2 * (x * y - w * z) / n, 2 * (x * z + w * y) / n},
                {2 * (x * y + w * z) / n, 1 - 2 * (x * x + z * z) / n, 2 * (y * z - w * x) / n},
                {2 * (x * z - w * y) / n, 2 * (y * z + w * x) / n, 1 - 2 * (x * x + y * y) / n}}};
}

// Maya order number -> axes applied first, second, third.
constexpr int kAxes[kOrders][3] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}, {0, 2, 1}, {1, 0, 2}, {2, 1, 0}};

// The rotation applying angles e (indexed by axis) in the order's sequence.
Mat fromEuler(const std::array<double, 3>& e, int order) {
    const int* s = kAxes[order];
    return mul(axis(s[2], e[s[2]]), mul(axis(s[1], e[s[1]]), axis(s[0], e[s[0]])));
}

// Angles (by axis) with m == fromEuler(angles, order), middle angle in
// [-90, 90] degrees: m relabelled so the order reads x, y, z is
// Rz(c) Ry(b) Rx(a), with every angle negated for an odd relabelling.
std::array<double, 3> toEuler(const Mat& m, int order) {
    const int* s = kAxes[order];
    Mat n{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) n[r][c] = m[s[r]][s[c]];
    const bool odd = order >= 3;
    const double a = std::atan2(n[2][1], n[2][2]);
    const double b = std::atan2(-n[2][0], std::sqrt(n[0][0] * n[0][0] + n[1][0] * n[1][0]));
    const double c = std::atan2(n[1][0], n[0][0]);
    std::array<double, 3> e{};
    e[s[0]] = odd ? -a : a;
    e[s[1]] = odd ? -b : b;
    e[s[2]] = odd ? -c : c;
    return e;
}

// The motion keyed on joint j: angles by axis in its own order. The middle
// angle stays within 70 degrees of level, away from gimbal lock, where no two
// computations of the outer angles could agree to 1e-12.
std::array<double, 3> motion(int j, int32_t frame) {
    const double t = frame / 40.0;
    std::array<double, 3> e{};
    const int* s = kAxes[j % kOrders];
    e[s[0]] = 0.9 * t * (1 + j % 3) + 0.3;
    e[s[1]] = 1.2 * std::sin(0.7 * t + j);
    e[s[2]] = -1.7 * t - 0.2 * j;
    return e;
}

std::array<double, 3> jointOrient(int j) { return {0.3 + 0.1 * j, -0.4 + 0.05 * j, 0.2 * (j % 4) - 0.3}; }

double nearestTurn(double a, double target) { return a + 2 * kPi * std::round((target - a) / (2 * kPi)); }

class ImportExactnessTest : public LoadedModuleTest {};

TEST_F(ImportExactnessTest, EveryKeyMatchesThePlainComputationOnTheSameBranch) {
    const int joints = 2 * kOrders;  // every order twice, chained, plus an end joint
    std::vector<MObject> nodes;
    MObject parent = MObject::kNullObj;
    for (int j = 0; j <= joints; ++j) {
        MFnDagNode dag;
        MObject node = dag.create("joint", ("j" + std::to_string(j)).c_str(), parent);
        MFnIkJoint joint(node);
        joint.setTranslation(MVector(j == 0 ? 0.0 : 5.0, 0.0, 0.0), MSpace::kTransform);
        if (j < joints) {
            const auto jo = jointOrient(j);
            ASSERT_TRUE(joint.setOrientation(MEulerRotation(jo[0], jo[1], jo[2])));
            ASSERT_TRUE(joint.setRotationOrder(static_cast<MTransformationMatrix::RotationOrder>(
                                                   MTransformationMatrix::kXYZ + j % kOrders),
                                               false));
        }
        nodes.push_back(node);
        parent = node;
    }

    // The clip: scene rotation R on a joint oriented O is stored as R * O
    // (R applied first), as (-w, x, y, -z) in single precision.
    SKL_SKELETON_HANDLE skel = skl_skeleton_skel_create_f("exact");
    for (int j = 0; j < joints; ++j) {
        const SKL_JOINT_ID id = skl_skeleton_joint_create_f(skel, ("j" + std::to_string(j)).c_str());
        if (j == 0) skl_skeleton_root_set(skel, id);
        else skl_skeleton_parent_set(skel, id, static_cast<SKL_JOINT_ID>(j - 1));
    }
    ASSERT_TRUE(skl_skeleton_skel_completed_f(skel, "exact"));
    ANM_ANIMATION_HANDLE anim = anm_animation_create_f();
    FIG_FIGURE_HANDLE fig = anm_animation_figure_add_f(anim, skel, 0);
    ASSERT_TRUE(anm_animation_frame_rate_set_f(anim, kRate));
    ASSERT_TRUE(anm_animation_number_of_frames_set_f(anim, kFrames));
    std::vector<std::vector<quaternion>> stored(joints);
    for (int j = 0; j < joints; ++j) {
        const auto jo = jointOrient(j);
        const MQuaternion o = MEulerRotation(jo[0], jo[1], jo[2]).asQuaternion();
        for (int32_t f = 0; f < kFrames; ++f) {
            const auto e = motion(j, f);
            const MQuaternion q = MEulerRotation(e[0], e[1], e[2], static_cast<MEulerRotation::RotationOrder>(j % kOrders))
                                      .asQuaternion() *
                                  o;
            const quaternion fq{static_cast<float>(-q.w), static_cast<float>(q.x), static_cast<float>(q.y),
                                static_cast<float>(-q.z)};
            ASSERT_TRUE(fgf_frame_joint_orientation_set_f(fig, f, static_cast<SKL_JOINT_ID>(j), &fq));
            stored[j].push_back(fq);
        }
    }
    const std::string path = dir + "exact.qmf";
    FM_FILE_IDENTIFIER_TYPE id{};
    ASSERT_TRUE(fm_path_name_to_file_id_f(path.c_str(), &id));
    ASSERT_TRUE(anm_animation_save_as_f(anim, &id, 0, nullptr));
    anm_animation_dispose(anim);

    ASSERT_TRUE(module.read("qmf", path));

    std::size_t checked = 0, wrapped = 0;
    for (int j = 0; j < joints; ++j) {
        const int order = j % kOrders;
        const auto jo = jointOrient(j);
        const Mat orientInverse = transpose(fromEuler(jo, 0));
        std::array<qmfhost::CurveData, 3> curves;
        const char* channels[3] = {"rotateX", "rotateY", "rotateZ"};
        for (int c = 0; c < 3; ++c) {
            qmfhost::Connection from;
            ASSERT_TRUE(qmfhost::sourceOf(nodes[static_cast<std::size_t>(j)], channels[c], from)) << j << channels[c];
            ASSERT_TRUE(qmfhost::getCurve(from.sourceNode, curves[c]));
            ASSERT_EQ(curves[c].keys.size(), static_cast<std::size_t>(kFrames)) << j;
        }
        for (int32_t f = 0; f < kFrames; ++f) {
            const quaternion& fq = stored[j][static_cast<std::size_t>(f)];
            // R = (R * O) then O^-1.
            const Mat r = mul(orientInverse, fromQuaternion(fq.f1, fq.f2, -static_cast<double>(fq.f3),
                                                            -static_cast<double>(fq.f0)));
            const auto first = toEuler(r, order);
            // The other angle set for the same matrix.
            std::array<double, 3> second = first;
            const int* s = kAxes[order];
            second[s[0]] += kPi;
            second[s[1]] = kPi - second[s[1]];
            second[s[2]] += kPi;
            // The branch the keyed motion is on (the file's rounding moves it by ~1e-7).
            const auto near = motion(j, f);
            double d1 = 0, d2 = 0;
            std::array<double, 3> a1{}, a2{};
            for (int c = 0; c < 3; ++c) {
                a1[c] = nearestTurn(first[c], near[c]);
                a2[c] = nearestTurn(second[c], near[c]);
                d1 += std::fabs(a1[c] - near[c]);
                d2 += std::fabs(a2[c] - near[c]);
            }
            const auto& expected = d1 <= d2 ? a1 : a2;
            ASSERT_LT(std::min(d1, d2), 1e-5) << "joint " << j << " frame " << f;
            for (int c = 0; c < 3; ++c) {
                const auto& key = curves[c].keys[static_cast<std::size_t>(f)];
                ASSERT_EQ(key.time, f * (1.0 / static_cast<double>(kRate)));
                ASSERT_NEAR(key.value, expected[c], 1e-12 * std::max(1.0, std::fabs(expected[c])))
                    << "joint " << j << " (order " << order << ") frame " << f << " channel " << c;
                if (std::fabs(key.value) > kPi) ++wrapped;
                ++checked;
            }
        }
    }
    EXPECT_EQ(checked, static_cast<std::size_t>(joints) * kFrames * 3);
    // The data reaches well past +-180 degrees, so keeping angles continuous matters.
    EXPECT_GT(wrapped, checked / 4);
}

}  // namespace
