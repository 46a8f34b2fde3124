"use strict";
// The translator's rules as the viewer applies them: a motion's data (the
// JSON qmf view writes) to each frame's world rotations and positions,
// exactly as the tool computes them.
const qmfModel = (() => {
  const f32 = Math.fround;
  const val = (v) => (v === null || v === undefined ? 0 : v);  // the tool writes null for what is not finite

  // ---- the translator's rules -------------------------------------------

  // File length to scene length (cm): widened, times 100, Z mirrored.
  function fileToScene(x, y, z) {
    return [f32(val(x)) * 100, f32(val(y)) * 100, -(f32(val(z)) * 100)];
  }

  // p * M for a row vector and a 3x3 matrix.
  function mulVec(p, m) {
    return [p[0] * m[0] + p[1] * m[3] + p[2] * m[6],
            p[0] * m[1] + p[1] * m[4] + p[2] * m[7],
            p[0] * m[2] + p[1] * m[5] + p[2] * m[8]];
  }
  function mulMat(a, b) {
    const out = new Array(9);
    for (let r = 0; r < 3; ++r)
      for (let c = 0; c < 3; ++c)
        out[r * 3 + c] = a[r * 3] * b[c] + a[r * 3 + 1] * b[3 + c] + a[r * 3 + 2] * b[6 + c];
    return out;
  }

  // One motion of the page: its joints and each frame's pose.
  function makeModel(d) {
    const joints = d.joints, J = joints.length, F = Math.max(1, d.frames);

    // File quaternion f0..f3 to the scene's (x, y, z, w) = (f1, f2, -f3, -f0),
    // as a row-vector rotation matrix; a non-unit quaternion still gives a pure rotation.
    function rotationOfKey(frame, joint) {
      const r = d.rotations, k = (frame * J + joint) * 4;
      const x = f32(val(r[k + 1])), y = f32(val(r[k + 2])), z = -f32(val(r[k + 3])), w = -f32(val(r[k]));
      const n = x * x + y * y + z * z + w * w;
      if (!(n > 1e-20)) return [1, 0, 0, 0, 1, 0, 0, 0, 1];
      const s = 2 / n;
      const xx = x * x * s, yy = y * y * s, zz = z * z * s;
      const xy = x * y * s, xz = x * z * s, yz = y * z * s;
      const wx = w * x * s, wy = w * y * s, wz = w * z * s;
      return [1 - (yy + zz), xy + wz, xz - wy,
              xy - wz, 1 - (xx + zz), yz + wx,
              xz + wy, yz - wx, 1 - (xx + yy)];
    }

    function rootTranslation(frame) {
      const t = d.rootTranslation, k = frame * 3;
      return fileToScene(t[k], t[k + 1], t[k + 2]);
    }

    // A scene comes with the positions Maya shows (its scale and the
    // transforms between joints included): those are drawn as they are.
    function scenePosition(frame, joint) {
      const p = d.positions, k = (frame * J + joint) * 3;
      return [val(p[k]), val(p[k + 1]), val(p[k + 2])];
    }

    // Every joint's world rotation and position at a frame: local = rotation
    // with the offset (or the root translation) as its last row, world = local * parent's world.
    function pose(frame) {
      frame = Math.min(Math.max(0, frame | 0), F - 1);
      const rot = new Array(J), pos = new Array(J);
      for (let j = 0; j < J; ++j) {
        const joint = joints[j];
        const r = rotationOfKey(frame, j);
        const t = j === d.translatedRoot ? rootTranslation(frame)
                                         : fileToScene(joint.offset[0], joint.offset[1], joint.offset[2]);
        if (joint.parent < 0) {
          rot[j] = r;
          pos[j] = t;
        } else {
          const pr = rot[joint.parent], pp = pos[joint.parent];
          rot[j] = mulMat(r, pr);
          const q = mulVec(t, pr);
          pos[j] = [q[0] + pp[0], q[1] + pp[1], q[2] + pp[2]];
        }
      }
      if (d.positions)
        for (let j = 0; j < J; ++j) pos[j] = scenePosition(frame, j);
      return { rot, pos };
    }

    return { d, joints, J, F, pose, rootTranslation, scenePosition };
  }

  return { fileToScene, mulVec, mulMat, makeModel };
})();
