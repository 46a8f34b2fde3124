// A skeleton's parent links, indexed: the cycle refusal of parent_set
// without walking ancestors, and the traversal order kept between walks.
#ifndef KELL_FOREST_H
#define KELL_FOREST_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "kell.h"

struct DT_DATA_DIRECTORY_TYPE_STRUCT;

namespace kell {

// Which tree each joint is in, as a union-find whose representatives know
// their tree's top joint. Linking a tree's top under another joint only
// joins two sets, so the usual way of building a skeleton (create, then
// link once) costs almost nothing per link. Cutting a link cannot be
// undone in a union-find: the index then goes stale and cycle checks walk
// ancestors until enough changes have happened to pay for a rebuild.
struct ForestIndex {
    std::vector<int32_t> up;        // union-find parent per joint; itself for a representative
    std::vector<SKL_JOINT_ID> top;  // per representative: the top joint of its tree
    bool valid = false;
    size_t changesWhileStale = 0;
};

// A depth-first walk as events: joint << 1, plus 1 for leaving.
using Walk = std::vector<int32_t>;

// True when making `parent` the parent of `joint` keeps the skeleton a forest.
bool parentKeepsForest(DT_DATA_DIRECTORY_TYPE_STRUCT &skeleton, SKL_JOINT_ID joint, SKL_JOINT_ID parent);

// Every change to joints or links goes through these, after it is made.
void jointAdded(DT_DATA_DIRECTORY_TYPE_STRUCT &skeleton);
void parentChanged(DT_DATA_DIRECTORY_TYPE_STRUCT &skeleton, SKL_JOINT_ID joint, SKL_JOINT_ID oldParent);
void rootFlagged(DT_DATA_DIRECTORY_TYPE_STRUCT &skeleton);

// The traversal order of the links as they are now, built on first use after
// a change. A walk in progress keeps its own, so edits made by its callback
// do not reach it. Throws std::bad_alloc when memory runs out.
std::shared_ptr<const Walk> traversalOrder(DT_DATA_DIRECTORY_TYPE_STRUCT &skeleton);

}  // namespace kell

#endif
