#ifndef MAYA_MTYPES_H
#define MAYA_MTYPES_H
// Basic types and export macros shared by every host header.

#include <cstddef>

// The host is a shared library built with hidden visibility; everything that
// belongs to the public API is exported explicitly.
#define OPENMAYA_EXPORT __attribute__((visibility("default")))
#define MAYA_HOST_EXPORT OPENMAYA_EXPORT

// Plug-in modules export their entry points and version record with this.
#ifndef PLUGIN_EXPORT
#define PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

#ifndef NULL
#define NULL 0
#endif

typedef unsigned int uint;

// MFnDagNode::addChild index meaning "after the existing children".
#define kNextPos 0xff

#endif
