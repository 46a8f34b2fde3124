// The indexed parent links against a plain model of the same edits: random
// runs of joint creation, linking, cutting, re-linking and root flags, on
// fresh skeletons and on skeletons read from a file. After every edit the
// links and the traversal must be what walking the plain model gives.
#include <gtest/gtest.h>

#include <cstdarg>
#include <random>
#include <string>
#include <vector>

#include "kell.h"
#include "kell_authoring.h"
#include "kell_test_support.h"

using namespace kelltest;

namespace {

struct Model {
    std::vector<int> parent;
    std::vector<bool> root;

    bool wouldCycle(int joint, int p) const {
        for (int at = p; at != -1; at = parent[at])
            if (at == joint) return true;
        return false;
    }
    // Enter events as joint + 1, leave events as -(joint + 1).
    std::vector<int> walk() const {
        const int n = static_cast<int>(parent.size());
        std::vector<int> out;
        std::vector<std::pair<int, int>> stack;
        auto from = [&](int top) {
            out.push_back(top + 1);
            stack.emplace_back(top, 0);
            while (!stack.empty()) {
                auto [joint, next] = stack.back();
                int child = next;
                while (child < n && parent[child] != joint) ++child;
                if (child < n) {
                    stack.back().second = child + 1;
                    out.push_back(child + 1);
                    stack.emplace_back(child, 0);
                } else {
                    out.push_back(-(joint + 1));
                    stack.pop_back();
                }
            }
        };
        for (int i = 0; i < n; ++i)
            if (parent[i] == -1 && root[i]) from(i);
        for (int i = 0; i < n; ++i)
            if (parent[i] == -1 && !root[i]) from(i);
        return out;
    }
};

KL_BOOL record(int16_t kind, DT_DATA_DIRECTORY_TYPE_STRUCT ** /*skeleton*/, SKL_JOINT_ID joint, va_list extra) {
    auto *events = va_arg(extra, std::vector<int> *);
    events->push_back(kind == SK_VISIT_ENTER ? joint + 1 : -(joint + 1));
    return 1;
}

std::vector<int> walkOf(SKL_SKELETON_HANDLE s) {
    std::vector<int> events;
    EXPECT_TRUE(sk_skeleton_traverse(s, record, &events));
    return events;
}

void expectSame(SKL_SKELETON_HANDLE s, const Model &m, const std::string &where) {
    ASSERT_EQ(skl_skeleton_number_of_joints_get_f(s), static_cast<int32_t>(m.parent.size())) << where;
    for (size_t i = 0; i < m.parent.size(); ++i)
        ASSERT_EQ(skl_skeleton_parent_get_f(s, static_cast<SKL_JOINT_ID>(i)), m.parent[i]) << where << " joint " << i;
    ASSERT_EQ(walkOf(s), m.walk()) << where;
}

// One random edit on both; `links` weighs linking against cutting.
void randomEdit(std::mt19937 &rng, SKL_SKELETON_HANDLE s, Model &m, int links) {
    const int n = static_cast<int>(m.parent.size());
    const int what = static_cast<int>(rng() % 10);
    if (what == 0 || n < 2) {
        const std::string name = "j" + std::to_string(n);
        ASSERT_EQ(skl_skeleton_joint_create_f(s, name.c_str()), n);
        m.parent.push_back(-1);
        m.root.push_back(false);
    } else if (what == 1) {
        const int j = static_cast<int>(rng() % n);
        skl_skeleton_root_set(s, static_cast<SKL_JOINT_ID>(j));
        m.root[j] = true;
    } else {
        const int j = static_cast<int>(rng() % n);
        const int p = what - 2 < links ? static_cast<int>(rng() % n) : -1;
        skl_skeleton_parent_set(s, static_cast<SKL_JOINT_ID>(j), static_cast<SKL_JOINT_ID>(p));
        if (p == -1 || !m.wouldCycle(j, p)) m.parent[j] = p;
    }
}

}  // namespace

TEST(Forest, LinksAndWalksMatchAPlainModelThroughRandomEdits) {
    struct Case {
        const char *name;
        int links;  // of 8 link edits, how many link rather than cut
        int edits;
    };
    const Case cases[] = {
        {"building: mostly links", 8, 600},
        {"re-linking: links and cuts", 6, 600},
        {"cutting: mostly cuts", 2, 600},
    };
    for (const Case &c : cases) {
        for (unsigned seed = 1; seed <= 4; ++seed) {
            std::mt19937 rng(seed);
            SKL_SKELETON_HANDLE s = skl_skeleton_skel_create_f("forest");
            Model m;
            for (int e = 0; e < c.edits; ++e) {
                randomEdit(rng, s, m, c.links);
                if (e % 25 == 0) expectSame(s, m, std::string(c.name) + " seed " + std::to_string(seed));
            }
            expectSame(s, m, std::string(c.name) + " seed " + std::to_string(seed) + " end");
            ANM_ANIMATION_HANDLE a = anm_animation_create_f();
            anm_animation_figure_add_f(a, s, 0);
            anm_animation_dispose(a);
        }
    }
}

TEST(Forest, SkeletonReadFromAFileKeepsRefusingCyclesAsItIsEdited) {
    TempDir dir;
    std::mt19937 rng(7);
    SKL_SKELETON_HANDLE s = skl_skeleton_skel_create_f("saved");
    Model m;
    for (int e = 0; e < 300; ++e) randomEdit(rng, s, m, 8);
    ANM_ANIMATION_HANDLE a = anm_animation_create_f();
    anm_animation_figure_add_f(a, s, 0);
    saveBytes(a, dir.path("forest.qmf"));
    anm_animation_dispose(a);

    ANM_ANIMATION_HANDLE opened = openPath(dir.path("forest.qmf"));
    ASSERT_NE(opened, ANM_INVALID_ANIMATION) << kell_last_error_message();
    SKL_SKELETON_HANDLE read = fig_figure_get_skel(anm_animation_figure_get_by_index_f(opened, 0));
    expectSame(read, m, "as read");
    for (int e = 0; e < 600; ++e) {
        randomEdit(rng, read, m, 7);
        if (e % 25 == 0) expectSame(read, m, "edit " + std::to_string(e));
    }
    expectSame(read, m, "end");
    anm_animation_dispose(opened);
}

TEST(Forest, ACallbackEditingTheSkeletonDoesNotChangeTheWalkInProgress) {
    SKL_SKELETON_HANDLE s = skl_skeleton_skel_create_f("edited");
    for (int i = 0; i < 4; ++i) skl_skeleton_joint_create_f(s, ("j" + std::to_string(i)).c_str());
    skl_skeleton_parent_set(s, 1, 0);
    skl_skeleton_parent_set(s, 2, 1);
    // On entering joint 1, move joint 3 under joint 2 and cut joint 2 free.
    struct Edit {
        static KL_BOOL onVisit(int16_t kind, DT_DATA_DIRECTORY_TYPE_STRUCT **sk, SKL_JOINT_ID joint, va_list extra) {
            auto *events = va_arg(extra, std::vector<int> *);
            events->push_back(kind == SK_VISIT_ENTER ? joint + 1 : -(joint + 1));
            if (kind == SK_VISIT_ENTER && joint == 1) {
                skl_skeleton_parent_set(sk, 3, 2);
                skl_skeleton_parent_set(sk, 2, SKL_NO_JOINT);
            }
            return 1;
        }
    };
    std::vector<int> events;
    ASSERT_TRUE(sk_skeleton_traverse(s, Edit::onVisit, &events));
    EXPECT_EQ(events, (std::vector<int>{1, 2, 3, -3, -2, -1, 4, -4}));
    // The next walk sees the edits.
    EXPECT_EQ(walkOf(s), (std::vector<int>{1, 2, -2, -1, 3, 4, -4, -3}));
    ANM_ANIMATION_HANDLE a = anm_animation_create_f();
    anm_animation_figure_add_f(a, s, 0);
    anm_animation_dispose(a);
}
