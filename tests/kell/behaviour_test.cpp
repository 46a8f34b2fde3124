#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdarg>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "kell_test_support.h"

using namespace kelltest;

namespace {

TEST(Skeleton, JointNamesMustBeOneTo127Bytes) {
    SKL_SKELETON_HANDLE s = skl_skeleton_skel_create_f("s");
    ANM_ANIMATION_HANDLE owner = anm_animation_create_f();
    anm_animation_figure_add_f(owner, s, 0);
    const std::string longest(127, 'n');
    const std::string tooLong = longest + "x";
    const struct {
        const char *name;
        SKL_JOINT_ID expected;
    } cases[] = {{nullptr, -1}, {"", -1}, {"a", 0}, {longest.c_str(), 1}, {tooLong.c_str(), -1}};
    for (const auto &c : cases) EXPECT_EQ(skl_skeleton_joint_create_f(s, c.name), c.expected) << (c.name ? c.name : "null");
    EXPECT_EQ(skl_skeleton_number_of_joints_get_f(s), 2);

    // The name buffer is written up to its 128 bytes and no further.
    char buffer[200];
    std::memset(buffer, 0x5A, sizeof buffer);
    skl_skeleton_joint_name_get(s, 1, buffer);
    EXPECT_EQ(std::string(buffer), longest);
    for (size_t i = 128; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], 0x5A) << i;
    // A bad joint gives an empty name rather than stale text.
    skl_skeleton_joint_name_get(s, 2, buffer);
    EXPECT_STREQ(buffer, "");
    skl_skeleton_joint_name_get(s, -1, buffer);
    EXPECT_STREQ(buffer, "");
    anm_animation_dispose(owner);
}

TEST(Skeleton, SkeletonNamesMayBeEmptyButNotTooLong) {
    ANM_ANIMATION_HANDLE owner = anm_animation_create_f();
    for (const char *name : {"", "hips"}) {
        SKL_SKELETON_HANDLE s = skl_skeleton_skel_create_f(name);
        ASSERT_NE(s, nullptr) << name;
        anm_animation_figure_add_f(owner, s, 0);
    }
    EXPECT_EQ(skl_skeleton_skel_create_f(std::string(KELL_MAX_SKELETON_NAME + 1, 'x').c_str()), nullptr);
    anm_animation_dispose(owner);
}

// A joint chain 0 <- 1 <- 2 and a separate joint 3.
struct Chain {
    ANM_ANIMATION_HANDLE owner = anm_animation_create_f();
    SKL_SKELETON_HANDLE s = skl_skeleton_skel_create_f("chain");
    Chain() {
        for (const char *n : {"a", "b", "c", "d"}) skl_skeleton_joint_create_f(s, n);
        skl_skeleton_parent_set(s, 1, 0);
        skl_skeleton_parent_set(s, 2, 1);
        anm_animation_figure_add_f(owner, s, 0);
    }
    ~Chain() { anm_animation_dispose(owner); }
    std::vector<SKL_JOINT_ID> parents() const {
        std::vector<SKL_JOINT_ID> p;
        for (SKL_JOINT_ID j = 0; j < 4; ++j) p.push_back(skl_skeleton_parent_get_f(s, j));
        return p;
    }
};

TEST(Skeleton, RefusedParentLinksChangeNothing) {
    const struct {
        const char *what;
        SKL_JOINT_ID joint, parent;
    } refused[] = {
        {"own parent", 1, 1},        {"grandchild as parent", 0, 2}, {"child as parent", 1, 2},
        {"unknown parent", 3, 4},    {"negative parent", 3, -2},     {"unknown joint", 4, 0},
        {"negative joint", -1, 0},   {"largest id", 32767, 0},
    };
    Chain c;
    const auto before = c.parents();
    for (const auto &r : refused) {
        skl_skeleton_parent_set(c.s, r.joint, r.parent);
        EXPECT_EQ(c.parents(), before) << r.what;
    }
    skl_skeleton_parent_set(c.s, 3, 2);  // allowed: extends the chain
    EXPECT_EQ(skl_skeleton_parent_get_f(c.s, 3), 2);
    skl_skeleton_parent_set(c.s, 1, SKL_NO_JOINT);  // allowed: detaches b
    EXPECT_EQ(skl_skeleton_parent_get_f(c.s, 1), SKL_NO_JOINT);
    skl_skeleton_parent_set(c.s, 0, 3);  // now allowed: b's subtree is no longer above a
    EXPECT_EQ(skl_skeleton_parent_get_f(c.s, 0), 3);
}

TEST(Skeleton, BadJointIdsAreRefusedByEverySetter) {
    Chain c;
    const coord3 offset{1, 2, 3};
    const quaternion q{1, 2, 3, 4};
    POB_PART_OBJECT_HANDLE part = pob_part_object_obj_create_f(0);
    for (SKL_JOINT_ID bad : {SKL_JOINT_ID(-1), SKL_JOINT_ID(4), SKL_JOINT_ID(32767), SKL_JOINT_ID(-32768)}) {
        skl_skeleton_root_set(c.s, bad);
        skl_skeleton_offset_set(c.s, bad, offset);
        skl_skeleton_joint_orientation_set(c.s, bad, &q);
        EXPECT_FALSE(skl_skeleton_part_object_attach_f(c.s, bad, part));
        EXPECT_FALSE(skl_skeleton_offset_get_f(c.s, bad, nullptr));
    }
    for (SKL_JOINT_ID j = 0; j < 4; ++j) {
        coord3 o;
        skl_skeleton_offset_get_f(c.s, j, &o);
        EXPECT_EQ(bitsOf(o.x) | bitsOf(o.y) | bitsOf(o.z), 0u);
        EXPECT_FALSE(skl_skeleton_root_get_f(c.s, j));
    }
    EXPECT_TRUE(skl_skeleton_part_object_attach_f(c.s, 0, part));
    EXPECT_FALSE(skl_skeleton_part_object_attach_f(c.s, 1, part)) << "a part object belongs to one joint";
}

struct Visit {
    int16_t kind;
    SKL_JOINT_ID joint;
};

struct Recorder {
    std::vector<Visit> visits;
    SKL_SKELETON_HANDLE expectSkeleton = nullptr;
    int badArguments = 0;
};

// Reads both extra arguments from the list it is given: a list that was not
// fresh (already consumed) would give the wrong values on later calls.
KL_BOOL record(int16_t kind, DT_DATA_DIRECTORY_TYPE_STRUCT **skeleton, SKL_JOINT_ID joint, va_list extra) {
    const char *tag = va_arg(extra, const char *);
    Recorder *r = va_arg(extra, Recorder *);
    const int sentinel = va_arg(extra, int);
    if (std::strcmp(tag, "tag") != 0 || sentinel != 4242 || skeleton != r->expectSkeleton) ++r->badArguments;
    r->visits.push_back({kind, joint});
    return 1;  // must not stop the walk
}

TEST(Traversal, DepthFirstOverEveryRootWithFreshArgumentsEachCall) {
    ANM_ANIMATION_HANDLE owner = anm_animation_create_f();
    SKL_SKELETON_HANDLE s = skl_skeleton_skel_create_f("forest");
    for (const char *n : {"r1", "loose", "r2", "a", "b", "c", "d"}) skl_skeleton_joint_create_f(s, n);
    // Declared in the order r2, r1; walked in creation order r1, r2.
    skl_skeleton_root_set(s, 2);
    skl_skeleton_root_set(s, 0);
    skl_skeleton_parent_set(s, 3, 2);  // a under r2
    skl_skeleton_parent_set(s, 4, 0);  // b under r1
    skl_skeleton_parent_set(s, 5, 2);  // c under r2, after a
    skl_skeleton_parent_set(s, 6, 3);  // d under a
    anm_animation_figure_add_f(owner, s, 0);

    Recorder r;
    r.expectSkeleton = s;
    EXPECT_TRUE(sk_skeleton_traverse(s, record, "tag", &r, 4242));
    const std::vector<std::pair<int, int>> expected = {
        {0, 0}, {0, 4}, {1, 4}, {1, 0},                          // r1 { b }
        {0, 2}, {0, 3}, {0, 6}, {1, 6}, {1, 3}, {0, 5}, {1, 5}, {1, 2},  // r2 { a { d } c }
        {0, 1}, {1, 1},                                          // never a root, never parented
    };
    std::vector<std::pair<int, int>> got;
    for (const Visit &v : r.visits) got.emplace_back(v.kind, v.joint);
    EXPECT_EQ(got, expected);
    EXPECT_EQ(r.badArguments, 0);
    anm_animation_dispose(owner);
}

TEST(Traversal, RefusesBadArgumentsAndWalksDeepChainsAndEmptySkeletons) {
    Recorder r;
    EXPECT_FALSE(sk_skeleton_traverse(nullptr, record, "tag", &r, 4242));
    ANM_ANIMATION_HANDLE owner = anm_animation_create_f();
    SKL_SKELETON_HANDLE s = skl_skeleton_skel_create_f("deep");
    anm_animation_figure_add_f(owner, s, 0);
    EXPECT_FALSE(sk_skeleton_traverse(s, nullptr));
    r.expectSkeleton = s;
    EXPECT_TRUE(sk_skeleton_traverse(s, record, "tag", &r, 4242));
    EXPECT_TRUE(r.visits.empty());

    // The largest skeleton, one chain: joint ids end at 32766 and the walk
    // must not recurse that deep.
    for (int i = 0; i < KELL_MAX_JOINTS; ++i) ASSERT_EQ(skl_skeleton_joint_create_f(s, "j"), i);
    // Linked from the bottom up, so each cycle check has a short way to the top.
    for (int i = KELL_MAX_JOINTS - 1; i > 0; --i)
        skl_skeleton_parent_set(s, static_cast<SKL_JOINT_ID>(i), static_cast<SKL_JOINT_ID>(i - 1));
    skl_skeleton_parent_set(s, 0, KELL_MAX_JOINTS - 1);  // would close the chain into a ring
    EXPECT_EQ(skl_skeleton_parent_get_f(s, 0), SKL_NO_JOINT);
    EXPECT_EQ(skl_skeleton_joint_create_f(s, "one too many"), SKL_NO_JOINT);
    EXPECT_TRUE(sk_skeleton_traverse(s, record, "tag", &r, 4242));
    ASSERT_EQ(r.visits.size(), 2u * KELL_MAX_JOINTS);
    EXPECT_EQ(r.visits[KELL_MAX_JOINTS - 1].joint, KELL_MAX_JOINTS - 1);
    EXPECT_EQ(r.visits[KELL_MAX_JOINTS].kind, SK_VISIT_LEAVE);
    EXPECT_EQ(r.badArguments, 0);
    anm_animation_dispose(owner);
}

TEST(FrameQueries, OutsideTheAnimationAnswerNoKey) {
    Sample shape;
    shape.frames = 5;
    ANM_ANIMATION_HANDLE a = makeSample(shape);
    FIG_FIGURE_HANDLE f = anm_animation_figure_get_by_index_f(a, 0);
    ASSERT_TRUE(fgf_frame_value_key_f(f, 4, 1));
    ASSERT_TRUE(fgf_frame_joint_orientation_key_f(f, 4, 2, 0));
    const struct {
        FIG_FIGURE_HANDLE figure;
        int32_t frame, channel;
        SKL_JOINT_ID joint;
    } cases[] = {
        {f, 5, 1, 0},         {f, -1, 1, 0},       {f, INT32_MAX, 1, 0}, {f, INT32_MIN, 1, 0},
        {f, 0, 0, 3},         {f, 0, 4, -1},       {f, 0, -1, 32767},    {f, 0, INT32_MAX, -32768},
        {nullptr, 0, 1, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.frame << " " << c.channel << " " << c.joint);
        EXPECT_FALSE(fgf_frame_value_key_f(c.figure, c.frame, c.channel));
        EXPECT_EQ(bitsOf(fgf_frame_value_get_f(c.figure, c.frame, c.channel)), 0u);
        EXPECT_FALSE(fgf_frame_joint_orientation_key_f(c.figure, c.frame, c.joint, 0));
        quaternion q{9, 9, 9, 9};
        fgf_frame_joint_orientation_get(c.figure, c.frame, c.joint, &q, 1);
        EXPECT_EQ(bitsOf(q.f0) | bitsOf(q.f1) | bitsOf(q.f2) | bitsOf(q.f3), 0u);
        EXPECT_FALSE(fgf_frame_value_set_f(c.figure, c.frame, c.channel, 1.0f));
        const quaternion one{1, 1, 1, 1};
        EXPECT_FALSE(fgf_frame_joint_orientation_set_f(c.figure, c.frame, c.joint, &one));
    }
    // A joint created after the figure has no keys yet, and can get them.
    SKL_SKELETON_HANDLE s = fig_figure_get_skel(f);
    const SKL_JOINT_ID late = skl_skeleton_joint_create_f(s, "late");
    EXPECT_FALSE(fgf_frame_joint_orientation_key_f(f, 0, late, 0));
    const quaternion q{1, 2, 3, 4};
    EXPECT_TRUE(fgf_frame_joint_orientation_set_f(f, 0, late, &q));
    EXPECT_TRUE(fgf_frame_joint_orientation_key_f(f, 0, late, 0));
    anm_animation_dispose(a);
}

TEST(Animation, DefaultsAndRefusedSettings) {
    ANM_ANIMATION_HANDLE a = anm_animation_create_f();
    EXPECT_EQ(anm_animation_frame_rate_get_f(a), 30.0f);
    EXPECT_EQ(anm_animation_number_of_frames_get_f(a), 0);
    EXPECT_EQ(anm_animation_figure_get_by_index_f(a, 0), nullptr);
    for (float rate : {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()})
        EXPECT_FALSE(anm_animation_frame_rate_set_f(a, rate)) << rate;
    EXPECT_TRUE(anm_animation_frame_rate_set_f(a, 29.97f));
    EXPECT_EQ(anm_animation_frame_rate_get_f(a), 29.97f);
    for (int32_t count : {-1, KELL_MAX_FRAMES + 1, INT32_MIN}) EXPECT_FALSE(anm_animation_number_of_frames_set_f(a, count));
    EXPECT_EQ(anm_animation_number_of_frames_get_f(a), 0);
    EXPECT_EQ(anm_animation_figure_add_f(a, nullptr, 0), nullptr);
    SKL_SKELETON_HANDLE s = skl_skeleton_skel_create_f("s");
    EXPECT_EQ(anm_animation_figure_add_f(a, s, 1), nullptr);
    ASSERT_NE(anm_animation_figure_add_f(a, s, 0), nullptr);
    ANM_ANIMATION_HANDLE other = anm_animation_create_f();
    EXPECT_EQ(anm_animation_figure_add_f(other, s, 0), nullptr) << "a skeleton belongs to one animation";
    EXPECT_NE(anm_animation_figure_add_f(a, s, 0), nullptr) << "two figures may share a skeleton";
    // Invalid handles read as empty and are ignored when disposed.
    EXPECT_EQ(anm_animation_number_of_frames_get_f(ANM_INVALID_ANIMATION), 0);
    EXPECT_EQ(anm_animation_figure_get_by_index_f(nullptr, 0), nullptr);
    anm_animation_dispose(ANM_INVALID_ANIMATION);
    anm_animation_dispose(nullptr);
    anm_animation_dispose(a);
    anm_animation_dispose(a);  // already gone: ignored
    EXPECT_EQ(anm_animation_figure_add_f(other, s, 0), nullptr) << "a released skeleton is refused";
    anm_animation_dispose(other);
}

TEST(PartObject, BoundsCoverSpheresAndBonesAndGoStaleOnChange) {
    POB_PART_OBJECT_HANDLE p = pob_part_object_obj_create_f(0);
    EXPECT_EQ(pob_part_object_obj_create_f(1), nullptr);
    coord3 lo, hi;
    EXPECT_FALSE(pob_part_object_bounds_get_f(p, &lo, &hi));
    EXPECT_TRUE(pob_part_object_sphere_add(p, 0.5f, 0));
    EXPECT_FALSE(pob_part_object_sphere_add(p, 0.5f, 3));
    const coord3 up{0, 1, 0}, back{0.6f, 0, -0.8f};
    EXPECT_TRUE(pob_part_object_bone_add(p, 2.0f, &up));
    EXPECT_TRUE(pob_part_object_bone_add(p, 5.0f, &back));
    EXPECT_FALSE(pob_part_object_bone_add(p, 1.0f, nullptr));
    pob_part_object_bounds_calc(p);
    ASSERT_TRUE(pob_part_object_bounds_get_f(p, &lo, &hi));
    EXPECT_FLOAT_EQ(lo.x, -0.5f);
    EXPECT_FLOAT_EQ(lo.y, -0.5f);
    EXPECT_FLOAT_EQ(lo.z, -4.0f);
    EXPECT_FLOAT_EQ(hi.x, 3.0f);
    EXPECT_FLOAT_EQ(hi.y, 2.0f);
    EXPECT_FLOAT_EQ(hi.z, 0.5f);
    EXPECT_TRUE(pob_part_object_sphere_add(p, 1.0f, 0));
    EXPECT_FALSE(pob_part_object_bounds_get_f(p, &lo, &hi)) << "bounds no longer match the primitives";
    ASSERT_EQ(pob_part_object_number_of_primitives_get_f(p), 4);
    POB_PRIMITIVE prim;
    ASSERT_TRUE(pob_part_object_primitive_get_f(p, 2, &prim));
    EXPECT_EQ(prim.kind, POB_PRIMITIVE_BONE);
    EXPECT_EQ(prim.length, 5.0f);
    EXPECT_EQ(prim.direction.z, -0.8f);
    EXPECT_FALSE(pob_part_object_primitive_get_f(p, 4, &prim));
    // Left unattached on purpose: the library's last exit releases it.
}

TEST(Identifiers, AbsolutePathsWithinTheRecord) {
    FM_FILE_IDENTIFIER_TYPE id;
    EXPECT_FALSE(fm_path_name_to_file_id_f(nullptr, &id));
    EXPECT_FALSE(fm_path_name_to_file_id_f("", &id));
    EXPECT_FALSE(fm_path_name_to_file_id_f("/x", nullptr));
    ASSERT_TRUE(fm_path_name_to_file_id_f("/tmp/walk.qmf", &id));
    EXPECT_STREQ(id.path, "/tmp/walk.qmf");
    EXPECT_EQ(id.length, 13u);

    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_TRUE(fm_path_name_to_file_id_f("clips/walk.qmf", &id));
    EXPECT_EQ(std::string(id.path), std::string(cwd) + (std::string(cwd) == "/" ? "" : "/") + "clips/walk.qmf");

    const std::string fits = "/" + std::string(FM_PATH_CAPACITY - 2, 'p');  // with its NUL, exactly the record
    ASSERT_TRUE(fm_path_name_to_file_id_f(fits.c_str(), &id));
    EXPECT_EQ(id.length, FM_PATH_CAPACITY - 1);
    EXPECT_FALSE(fm_path_name_to_file_id_f((fits + "p").c_str(), &id));
    EXPECT_EQ(id.length, 0u) << "a refused path leaves an empty record";

    // A record the library did not fill is refused, not trusted.
    FM_FILE_IDENTIFIER_TYPE forged;
    std::memset(&forged, 'z', sizeof forged);
    forged.length = 5000;
    EXPECT_EQ(anm_animation_open_f(&forged, 1), ANM_INVALID_ANIMATION);
    EXPECT_EQ(dc_file_document_kind_get_f(&forged), DC_KIND_UNREADABLE);
}

TEST(Documents, KindsOfAnimationsOtherDocumentsAndForeignFiles) {
    TempDir dir;
    Sample shape;
    ANM_ANIMATION_HANDLE a = makeSample(shape);
    const std::vector<uint8_t> clip = saveBytes(a, dir.path("clip.qmf"));
    anm_animation_dispose(a);
    writeBytes(dir.path("notes.txt"), {'h', 'e', 'l', 'l', 'o', '\n'});
    writeBytes(dir.path("empty"), {});
    std::vector<uint8_t> newer = clip;
    newer[10] = 9;  // version 9
    reseal(newer);
    writeBytes(dir.path("newer.qmf"), newer);
    std::vector<uint8_t> other = clip;
    other[8] = 3;  // another Movantis document kind
    reseal(other);
    writeBytes(dir.path("other.qmf"), other);
    std::vector<uint8_t> damaged = clip;
    damaged[20] ^= 0xFF;
    writeBytes(dir.path("damaged.qmf"), damaged);
    ASSERT_EQ(mkfifo(dir.path("pipe").c_str(), 0600), 0);  // opening it must not wait for a writer

    const struct {
        const char *file;
        int16_t kind;
    } cases[] = {
        {"clip.qmf", DC_KIND_MOVANTIS_ANIMATION}, {"notes.txt", DC_KIND_FOREIGN},
        {"empty", DC_KIND_FOREIGN},               {"newer.qmf", DC_KIND_MOVANTIS_OTHER},
        {"other.qmf", DC_KIND_MOVANTIS_OTHER},    {"damaged.qmf", DC_KIND_MOVANTIS_OTHER},
        {"missing.qmf", DC_KIND_UNREADABLE},      {"", DC_KIND_UNREADABLE},  // the folder itself
        {"pipe", DC_KIND_UNREADABLE},
    };
    for (const auto &c : cases) {
        FM_FILE_IDENTIFIER_TYPE id = identifierFor(dir.path(c.file));
        EXPECT_EQ(dc_file_document_kind_get_f(&id), c.kind) << c.file;
        if (c.kind != DC_KIND_MOVANTIS_ANIMATION) {
            EXPECT_EQ(anm_animation_open_f(&id, 1), ANM_INVALID_ANIMATION) << c.file;
        }
    }
    FM_FILE_IDENTIFIER_TYPE id = identifierFor(dir.path("clip.qmf"));
    EXPECT_EQ(anm_animation_open_f(&id, 0), ANM_INVALID_ANIMATION) << "only flag 1 opens";
    EXPECT_EQ(dc_memory_document_kind_get_f(clip.data(), clip.size()), DC_KIND_MOVANTIS_ANIMATION);
}

TEST(Lifetime, StartsAreCountedAndTheLastExitReleasesOrphans) {
    mvl_movantis_lib_exit();  // without a start: nothing happens
    SKL_SKELETON_HANDLE before = skl_skeleton_skel_create_f("made before start");
    ASSERT_TRUE(mvl_movantis_lib_initialize_lite_f());
    ASSERT_TRUE(mvl_movantis_lib_initialize_lite_f());
    SKL_SKELETON_HANDLE orphan = skl_skeleton_skel_create_f("orphan");
    skl_skeleton_joint_create_f(orphan, "j");
    POB_PART_OBJECT_HANDLE attached = pob_part_object_obj_create_f(0);
    skl_skeleton_part_object_attach_f(orphan, 0, attached);
    POB_PART_OBJECT_HANDLE loose = pob_part_object_obj_create_f(0);
    ANM_ANIMATION_HANDLE undisposed = anm_animation_create_f();
    anm_animation_figure_add_f(undisposed, skl_skeleton_skel_create_f("owned"), 0);

    mvl_movantis_lib_exit();
    EXPECT_EQ(skl_skeleton_number_of_joints_get_f(orphan), 1) << "one start is still open";
    mvl_movantis_lib_exit();
    // Everything is gone; the handles are now refused (and the sanitizer
    // build shows nothing leaked or freed twice).
    EXPECT_EQ(skl_skeleton_number_of_joints_get_f(orphan), -1);
    EXPECT_EQ(skl_skeleton_number_of_joints_get_f(before), -1);
    EXPECT_EQ(pob_part_object_number_of_primitives_get_f(loose), -1);
    EXPECT_EQ(pob_part_object_number_of_primitives_get_f(attached), -1);
    EXPECT_EQ(anm_animation_number_of_figures_get_f(undisposed), -1);
    // Usable again afterwards, with or without a new start.
    ANM_ANIMATION_HANDLE again = anm_animation_create_f();
    EXPECT_EQ(anm_animation_number_of_figures_get_f(again), 0);
    anm_animation_dispose(again);
}

}  // namespace
