"use strict";
// The viewer's camera: an orbit about a target point, the up axis vertical.
// `state` holds its yaw, pitch (radians), distance and target; the view's
// canvas gives the picture's size.
function qmfCamera(view, upIndex, state) {
  const focalOf = (w, h) => Math.min(w, h) * 1.2;

  // Scene point to view space: the up axis vertical, then orbit yaw and pitch.
  function toViewSpace(p) {
    const t = state.target;
    let v = [p[0] - t[0], p[1] - t[1], p[2] - t[2]];
    if (upIndex === 2) v = [v[0], v[2], -v[1]];
    else if (upIndex === 0) v = [-v[1], v[0], v[2]];
    const cy = Math.cos(state.yaw), sy = Math.sin(state.yaw);
    const x = v[0] * cy - v[2] * sy, z1 = v[0] * sy + v[2] * cy;
    const cp = Math.cos(state.pitch), sp = Math.sin(state.pitch);
    return [x, v[1] * cp - z1 * sp, v[1] * sp + z1 * cp];
  }

  function project(p) {
    const v = toViewSpace(p);
    const depth = state.distance - v[2];
    if (!(depth > state.distance * 0.01)) return null;
    const w = view.width, h = view.height, focal = focalOf(w, h);
    return { x: w / 2 + (v[0] * focal) / depth, y: h / 2 - (v[1] * focal) / depth, scale: focal / depth };
  }

  function boundsOf(points) {
    const lo = [Infinity, Infinity, Infinity], hi = [-Infinity, -Infinity, -Infinity];
    for (const q of points)
      for (let a = 0; a < 3; ++a)
        if (Number.isFinite(q[a])) { lo[a] = Math.min(lo[a], q[a]); hi[a] = Math.max(hi[a], q[a]); }
    return Number.isFinite(lo[0]) ? { lo, hi } : null;
  }
  const middle = (box) => box.lo.map((l, a) => (l + box.hi[a]) / 2);

  // On the points' middle, far enough that the sphere around them fits in
  // any direction (so the view buttons keep it all in sight): a point r off
  // the axis and r nearer lands within 45% of the view.
  function aimAtAll(points, least) {
    const box = boundsOf(points);
    if (!box) return;
    state.target = middle(box);
    const radius = Math.hypot(...box.hi.map((h, a) => h - box.lo[a])) / 2;
    state.distance = Math.max(least, radius * (1 + 1.2 / 0.45));
  }

  // Tight, as the view looks now: each point within 45% of the middle.
  function frameTightly(points, least) {
    const box = boundsOf(points);
    if (!box) return;
    state.target = middle(box);
    const w = Math.max(1, view.width), h = Math.max(1, view.height), focal = focalOf(w, h);
    let d = least;
    for (const q of points) {
      const v = toViewSpace(q);
      if (!v.every(Number.isFinite)) continue;
      d = Math.max(d, v[2] + (Math.abs(v[0]) * focal) / (0.45 * w), v[2] + (Math.abs(v[1]) * focal) / (0.45 * h));
    }
    state.distance = d;
  }

  // Follow: the target on the points' middle, the distance kept.
  function centreOn(points) {
    const box = boundsOf(points);
    if (box) state.target = middle(box);
  }

  return { toViewSpace, project, aimAtAll, frameTightly, centreOn };
}
