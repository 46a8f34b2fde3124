// The translator's rotation and translation rules over arrays of keys, run
// through the translator's own conversion code and the host's maths.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qmfpy {

// One joint's file quaternions (4 floats a key, along frames) to its rotate
// angles in degrees (3 a key) in rotate order `order` (Maya's rotateOrder,
// 0 xyz .. 5 zyx), given the joint orient in degrees (Maya's jointOrient,
// XYZ), each key the solution closest to the previous keyed one, as an
// import computes them. Frames whose keyed[i] is 0 get NaN angles and are
// skipped, as the import skips frames without a key; keyed may be null.
void orientationsToEuler(const float* keys, const uint8_t* keyed, std::size_t count, const double jointOrient[3],
                         int order, double* degrees);

// The inverse: rotate angles in degrees to file quaternions.
void eulerToOrientations(const double* degrees, std::size_t count, const double jointOrient[3], int order,
                         float* keys);

// Each key's sign chosen so that consecutive keyed quaternions (4 floats a
// key, along frames) lie on the same side (dot product >= 0): the same
// rotations, without the half-turn jumps a blend would take. In place;
// unkeyed frames are left as they are and skipped.
void makeSignsContinuous(float* keys, const uint8_t* keyed, std::size_t count);

// An Euler filter over a channel of rotate angles in degrees (3 a frame) in
// rotate order `order`: each keyed frame's angles become the equivalent
// closest to the previous keyed frame's, as an import chooses them (whole
// turns on each axis, and the other solution of the same rotation). In place.
void eulerFilter(double* degrees, const uint8_t* keyed, std::size_t count, int order);

// Root translation channel `axis` (0 x, 1 y, 2 z) of the file to the scene
// (centimetres) and back (3 floats a key from 3 doubles).
void translationToScene(const float* file, std::size_t count, int axis, double* scene);
void translationToFile(const double* scene, std::size_t count, float* file);

}  // namespace qmfpy
