// Where a scene node sits in the world, with the host's own transform maths.
#pragma once

#include "qmfhost/MaScene.h"

namespace qmfhost::ma {

// Sets the local translate, rotate and scale of a transform or joint so that
// under newParent (-1: the world) it keeps the world placement it has now
// under its first parent. The joint orient stays; other nodes are left alone.
void keepWorldPlacement(Scene& scene, int node, int newParent);

}  // namespace qmfhost::ma
