#ifndef MAYA_MSPACE_H
#define MAYA_MSPACE_H
// Coordinate spaces for transform queries.

#include <maya/MTypes.h>

class OPENMAYA_EXPORT MSpace {
public:
    enum Space {
        kInvalid = 0,
        kTransform = 1,     // the node's own (local) space
        kPreTransform = 2,
        kPostTransform = 3,
        kWorld = 4,
        kObject = kPreTransform,
        kLast = 5
    };
};

#endif
