#ifndef MAYA_MPLUGARRAY_H
#define MAYA_MPLUGARRAY_H
// MPlugArray is declared with MPlug.
#include <maya/MPlug.h>
#endif
