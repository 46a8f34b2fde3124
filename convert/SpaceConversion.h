// Values crossing between the scene and a Movantis file. The scene counts in
// centimetres, right-handed, with Maya's quaternions and times in seconds; the
// file counts in metres with Z mirrored, rotations as four floats and time in
// frames. Narrowing to float happens only here, at the file boundary.
#ifndef QMF_CONVERT_SPACECONVERSION_H
#define QMF_CONVERT_SPACECONVERSION_H

#include <cstdint>

#include <maya/MEulerRotation.h>
#include <maya/MQuaternion.h>
#include <maya/MTime.h>
#include <maya/MVector.h>

#include "interfaces/AnimLibrary.h"

// Scene length to file length; computed once while the module loads.
extern const double gSceneToFileScale;

// File lengths come back into the scene by this factor (not by the inverse
// of gSceneToFileScale, so import does not depend on load order).
constexpr double kFileToSceneScale = 100.0;

// Scene vector (transform space) to file coord3: scaled in double, then each
// component narrowed, Z negated.
coord3 sceneVectorToFile(const MVector& sceneVector);

// The scaled vector whose length export measures (double precision).
MVector sceneVectorScaled(const MVector& sceneVector);

// A vector already in file units (scaled, or a unit direction) to coord3:
// each component narrowed, Z negated.
coord3 fileUnitsToCoord(const MVector& fileUnitsVector);

// One root translation channel (kell::kRootChannelX/Y/Z) of the file to the
// scene value: widened, scaled, Z negated.
double fileTranslationToScene(int32_t channel, float fileValue);

// Joint rotation R and orientation O to the file quaternion of R * O.
quaternion sceneRotationToFile(const MQuaternion& rotation, const MQuaternion& orientation);

// File quaternion back to the joint rotation R, given the joint's orientation O.
MQuaternion fileRotationToScene(const quaternion& fileRotation, const MQuaternion& orientation);

// A keyed file quaternion to the joint's rotate angles (radians) in the
// joint's order, the solution closest to the previous key's angles so that a
// curve turns continuously instead of jumping across +-pi.
MEulerRotation fileRotationToEuler(const quaternion& fileRotation, const MQuaternion& orientation,
                                   MEulerRotation::RotationOrder order, const MEulerRotation& previous);

// Frame number to scene time, in seconds.
MTime frameToTime(uint32_t frame, double secondsPerFrame);

#endif
