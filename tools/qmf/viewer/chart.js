"use strict";
// The viewer's charts: three channels of a joint over all frames, with the
// frame shown marked.
// Round values between lo and hi, about `count` of them: steps of 1, 2 or 5
// times a power of ten.
function qmfTicks(lo, hi, count) {
  if (!(hi > lo)) return [lo];
  const raw = (hi - lo) / count, power = Math.pow(10, Math.floor(Math.log10(raw)));
  const step = [1, 2, 5, 10].map((m) => m * power).find((s) => s >= raw) || raw;
  const out = [];
  for (let v = Math.ceil(lo / step) * step; v <= hi + step * 1e-9 && out.length < 50; v += step)
    out.push(Math.abs(v) < step * 1e-9 ? 0 : v);
  return out;
}
function qmfTickText(v) {
  return String(+v.toPrecision(6));
}

// One chart of three channels over all frames, the current frame marked.
function qmfChart(ctx, box, title, channel, ratio, F, frame) {
  let lo = Infinity, hi = -Infinity;
  for (let f = 0; f < F; ++f)
    for (let a = 0; a < 3; ++a) {
      const v = channel(f, a);
      if (Number.isFinite(v)) { lo = Math.min(lo, v); hi = Math.max(hi, v); }
    }
  if (!Number.isFinite(lo)) { lo = -1; hi = 1; }
  if (hi - lo < 1e-9) { lo -= 1; hi += 1; }
  const left = box.x + 44 * ratio, right = box.x + box.w - 6 * ratio, top = box.y + 18 * ratio, bottom = box.y + box.h - 16 * ratio;
  const X = (f) => left + (F > 1 ? (Math.min(f, F - 1) / (F - 1)) * (right - left) : 0);
  const Y = (v) => bottom - ((v - lo) / (hi - lo)) * (bottom - top);
  ctx.font = `${11 * ratio}px system-ui, sans-serif`;
  ctx.fillStyle = "#d8dde5";
  ctx.fillText(title, box.x, box.y + 11 * ratio);
  // A few ticks at round values on each axis, with faint lines across.
  ctx.lineWidth = ratio;
  ctx.fillStyle = "#8a93a0";
  ctx.textAlign = "right";
  for (const v of qmfTicks(lo, hi, 4)) {
    ctx.strokeStyle = "#262b33";
    ctx.beginPath();
    ctx.moveTo(left, Y(v));
    ctx.lineTo(right, Y(v));
    ctx.stroke();
    ctx.fillText(qmfTickText(v), left - 4 * ratio, Y(v) + 4 * ratio);
  }
  ctx.textAlign = "center";
  for (const f of qmfTicks(0, F - 1, 5)) {
    if (f !== Math.round(f)) continue;
    ctx.strokeStyle = "#262b33";
    ctx.beginPath();
    ctx.moveTo(X(f), top);
    ctx.lineTo(X(f), bottom);
    ctx.stroke();
    ctx.fillText(String(f), X(f), bottom + 13 * ratio);
  }
  ctx.textAlign = "left";
  ctx.strokeStyle = "#3a414d";
  ctx.strokeRect(left, top, right - left, bottom - top);
  const colours = ["#ff6b6b", "#6fcf97", "#5b8def"];
  const stride = Math.max(1, Math.floor(F / ((right - left) * 2)));
  for (let a = 0; a < 3; ++a) {
    ctx.strokeStyle = colours[a];
    ctx.beginPath();
    for (let f = 0; f < F; f += stride) {
      const y = Y(channel(f, a));
      if (f === 0) ctx.moveTo(X(f), y); else ctx.lineTo(X(f), y);
    }
    ctx.stroke();
    ctx.fillStyle = colours[a];
    ctx.fillText("XYZ"[a], right - (36 - a * 12) * ratio, box.y + 11 * ratio);
  }
  ctx.strokeStyle = "#ffb347";
  ctx.beginPath();
  ctx.moveTo(X(frame), top);
  ctx.lineTo(X(frame), bottom);
  ctx.stroke();
}
