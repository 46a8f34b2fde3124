// The host's scene API as the translator uses it, and the joint counting
// shared by export and import. Only maya/ headers are reached from here, so
// the translator builds the same against Maya's devkit or the headless host.
#ifndef QMF_INTERFACES_HOSTAPI_H
#define QMF_INTERFACES_HOSTAPI_H

#include <maya/MAnimControl.h>
#include <maya/MEulerRotation.h>
#include <maya/MFileObject.h>
#include <maya/MFn.h>
#include <maya/MFnAnimCurve.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MFnIkJoint.h>
#include <maya/MFnTransform.h>
#include <maya/MItDag.h>
#include <maya/MObject.h>
#include <maya/MPlug.h>
#include <maya/MPxFileTranslator.h>
#include <maya/MQuaternion.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTime.h>
#include <maya/MTransformationMatrix.h>
#include <maya/MVector.h>

// Direct children of the node that are joints; plain transforms, shapes and
// other nodes between joints do not count.
unsigned int jointChildCount(const MFnDagNode& node);

// Direct parents of the node that are joints. Zero makes the joint a root,
// even when a group separates it from a higher joint.
unsigned int jointParentCount(const MFnDagNode& node);

#endif
