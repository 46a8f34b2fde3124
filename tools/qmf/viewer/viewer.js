"use strict";
// The qmf viewer: plays the motion `qmf view` put into this page. World
// positions follow the translator's rules exactly as the tool computes them,
// so `#selftest` can be checked against `qmf view --positions`.
(() => {
  const data = JSON.parse(document.getElementById("motion").textContent);
  const joints = data.joints;
  const J = joints.length;
  const F = Math.max(1, data.frames);
  const f32 = Math.fround;
  const val = (v) => (v === null || v === undefined ? 0 : v);  // the tool writes null for what is not finite

  const { fileToScene, mulVec, makeModel } = qmfModel;

  const A = makeModel(data);
  const { pose, rootTranslation, scenePosition } = A;
  // A second motion to compare (qmf view A B): one timeline by time, the
  // same camera, overlaid or side by side.
  const secondText = document.getElementById("motion2").textContent.trim();
  const data2 = secondText.startsWith("{") ? JSON.parse(secondText) : null;
  const B = data2 ? makeModel(data2) : null;
  const timelineFrames = B ? Math.max(F, Math.round(((B.F - 1) / data2.frameRate) * data.frameRate) + 1) : F;
  function frameOfB(f) {
    return Math.min(B.F - 1, Math.max(0, Math.round((f / data.frameRate) * data2.frameRate)));
  }

  // ---- state ------------------------------------------------------------

  const view = document.getElementById("view");
  const curves = document.getElementById("curves");
  const slider = document.getElementById("slider");
  const playButton = document.getElementById("play");
  const clock = document.getElementById("clock");
  const tip = document.getElementById("tip");
  const upIndex = { x: 0, y: 1, z: 2 }[data.upAxis] ?? 1;
  const size = Math.max(data.size > 0 ? data.size : 100, B && data2.size > 0 ? data2.size : 0);

  const state = { frame: 0, playing: false, selected: -1, hover: -1, sideBySide: false, follow: false,
                  yaw: 0.6, pitch: 0.35, distance: size * 2.6, target: [0, 0, 0], current: null, currentB: null };

  // Where the second motion is drawn: on the first, or beside it along the
  // ground.
  function offsetB() {
    const off = [0, 0, 0];
    if (state.sideBySide) off[upIndex === 0 ? 1 : 0] = size * 1.3;
    return off;
  }
  const shifted = (p, off) => [p[0] + off[0], p[1] + off[1], p[2] + off[2]];

  // The trace of the translated root on the ground, and where to look.
  const trace = [];
  if (data.translatedRoot >= 0)
    for (let f = 0; f < F; ++f) {
      const p = data.positions ? scenePosition(f, data.translatedRoot) : rootTranslation(f);
      p[upIndex] = 0;
      trace.push(p);
    }
  // Where the camera looks and from how far: on the whole motion (every
  // joint of up to 200 frames spread over the take, and the trace), so every
  // view shows all of it; "frame figure" and "follow" frame the figure where
  // it is.
  const { project, aimAtAll, frameTightly, centreOn } = qmfCamera(view, upIndex, state);
  const sampled = [];
  for (let k = 0, n = Math.min(F, 200); k < n; ++k) sampled.push(Math.round((k * (F - 1)) / Math.max(1, n - 1)));
  const frameTheView = () => {
    let p = trace.slice();
    for (const f of sampled) p = p.concat(pose(f).pos);
    if (B) for (const f of sampled) p = p.concat(B.pose(frameOfB(f)).pos.map((q) => shifted(q, offsetB())));
    aimAtAll(p, size * 2.6);
  };
  // The figure (and the second one) as they are on the frame shown.
  const figureNow = () => {
    let p = pose(state.frame).pos;
    if (B) p = p.concat(B.pose(frameOfB(state.frame)).pos.map((q) => shifted(q, offsetB())));
    return p;
  };
  const frameTheFigure = () => frameTightly(figureNow(), size * 0.2);
  frameTheView();

  // ---- drawing ----------------------------------------------------------

  function fit(canvas) {
    const ratio = window.devicePixelRatio || 1;
    const w = Math.max(1, Math.round(canvas.clientWidth * ratio)), h = Math.max(1, Math.round(canvas.clientHeight * ratio));
    if (canvas.width !== w || canvas.height !== h) { canvas.width = w; canvas.height = h; }
    return ratio;
  }

  function line(ctx, a, b) {
    const pa = project(a), pb = project(b);
    if (!pa || !pb) return;
    ctx.beginPath();
    ctx.moveTo(pa.x, pa.y);
    ctx.lineTo(pb.x, pb.y);
    ctx.stroke();
  }

  function groundPoint(u, w) {
    const p = [0, 0, 0];
    const axes = [0, 1, 2].filter((a) => a !== upIndex);
    p[axes[0]] = u;
    p[axes[1]] = w;
    return p;
  }

  function drawGround(ctx, ratio) {
    const step = Math.pow(10, Math.floor(Math.log10(size / 2)));
    const axes = [0, 1, 2].filter((a) => a !== upIndex);
    const reach = size * 1.5;
    const lo = axes.map((a) => Math.floor((state.target[a] - reach) / step) * step);
    const hi = axes.map((a) => Math.ceil((state.target[a] + reach) / step) * step);
    ctx.lineWidth = ratio;
    for (let u = lo[0]; u <= hi[0] + step / 2; u += step) {
      ctx.strokeStyle = Math.abs(u) < step / 2 ? "#4a5568" : "#2a303a";
      line(ctx, groundPoint(u, lo[1]), groundPoint(u, hi[1]));
    }
    for (let w = lo[1]; w <= hi[1] + step / 2; w += step) {
      ctx.strokeStyle = Math.abs(w) < step / 2 ? "#4a5568" : "#2a303a";
      line(ctx, groundPoint(lo[0], w), groundPoint(hi[0], w));
    }
    // The up axis, from the origin.
    const up = [0, 0, 0];
    up[upIndex] = size * 0.4;
    ctx.strokeStyle = "#6fcf97";
    ctx.lineWidth = 2 * ratio;
    line(ctx, [0, 0, 0], up);
    const tipPoint = project(up);
    if (tipPoint) {
      ctx.fillStyle = "#6fcf97";
      ctx.font = `${12 * ratio}px system-ui, sans-serif`;
      ctx.fillText(`${data.upAxis.toUpperCase()} up`, tipPoint.x + 4 * ratio, tipPoint.y);
    }
  }

  function drawTrace(ctx, ratio) {
    if (trace.length < 2) return;
    ctx.strokeStyle = "#ffb34780";
    ctx.lineWidth = 1.5 * ratio;
    ctx.beginPath();
    let open = false;
    const stride = Math.max(1, Math.floor(trace.length / 2000));
    for (let f = 0; f < trace.length; f += stride) {
      const p = project(trace[f]);
      if (!p) { open = false; continue; }
      if (open) ctx.lineTo(p.x, p.y); else ctx.moveTo(p.x, p.y);
      open = true;
    }
    ctx.stroke();
  }

  function drawVolumes(ctx, ratio, current) {
    for (let j = 0; j < J; ++j) {
      const p = current.pos[j];
      for (const v of joints[j].volume) {
        if (v.kind === "sphere") {
          const c = project(p);
          if (!c) continue;
          ctx.fillStyle = "#5b8def22";
          ctx.beginPath();
          ctx.arc(c.x, c.y, Math.max(0, val(v.radius) * 100 * c.scale), 0, 2 * Math.PI);
          ctx.fill();
        } else {
          const d = fileToScene(v.direction[0], v.direction[1], v.direction[2]).map((x) => x / 100);
          const len = f32(val(v.length)) * 100;
          const w = mulVec(d, current.rot[j]);
          ctx.strokeStyle = "#5b8def55";
          ctx.lineWidth = 7 * ratio;
          line(ctx, p, [p[0] + w[0] * len, p[1] + w[1] * len, p[2] + w[2] * len]);
        }
      }
    }
  }

  function drawSkeleton(ctx, ratio, current) {
    ctx.lineCap = "round";
    ctx.strokeStyle = "#d8dde5";
    ctx.lineWidth = 2.5 * ratio;
    for (let j = 0; j < J; ++j)
      if (joints[j].parent >= 0) line(ctx, current.pos[joints[j].parent], current.pos[j]);
    for (let j = 0; j < J; ++j) {
      const c = project(current.pos[j]);
      if (!c) continue;
      const mark = j === state.selected || j === state.hover;
      ctx.fillStyle = j === state.selected ? "#ffb347" : j === data.translatedRoot ? "#ff6b6b" : "#9ecbff";
      ctx.beginPath();
      ctx.arc(c.x, c.y, (mark ? 5.5 : 3.5) * ratio, 0, 2 * Math.PI);
      ctx.fill();
    }
  }

  // The second motion, in another colour, where offsetB() puts it.
  function drawSecond(ctx, ratio, current) {
    const off = offsetB(), at = (j) => shifted(current.pos[j], off);
    ctx.lineCap = "round";
    ctx.strokeStyle = "#ffb347c0";
    ctx.lineWidth = 2.5 * ratio;
    for (let j = 0; j < B.J; ++j)
      if (B.joints[j].parent >= 0) line(ctx, at(B.joints[j].parent), at(j));
    ctx.fillStyle = "#ffd08a";
    for (let j = 0; j < B.J; ++j) {
      const c = project(at(j));
      if (!c) continue;
      ctx.beginPath();
      ctx.arc(c.x, c.y, 3 * ratio, 0, 2 * Math.PI);
      ctx.fill();
    }
  }

  const afterDraw = [];
  function drawView() {
    const ratio = fit(view);
    const ctx = view.getContext("2d");
    ctx.fillStyle = "#15181d";
    ctx.fillRect(0, 0, view.width, view.height);
    state.current = pose(state.frame);
    if (state.follow) centreOn(state.current.pos);
    drawGround(ctx, ratio);
    drawTrace(ctx, ratio);
    drawVolumes(ctx, ratio, state.current);
    drawSkeleton(ctx, ratio, state.current);
    if (B) {
      state.currentB = B.pose(frameOfB(state.frame));
      drawSecond(ctx, ratio, state.currentB);
    }
    placeTip();
    for (const f of afterDraw) f();
  }

  // The name of the joint under the pointer stays on that joint as it moves.
  function placeTip() {
    if (tip.hidden || state.hover < 0 || !state.current) return;
    const c = project(state.current.pos[state.hover]);
    if (!c) { tip.hidden = true; return; }
    const scale = view.getBoundingClientRect().width / Math.max(1, view.width);
    tip.style.left = `${c.x * scale + 12}px`;
    tip.style.top = `${c.y * scale + 12}px`;
  }

  function drawCurves() {
    const ratio = fit(curves);
    const ctx = curves.getContext("2d");
    ctx.clearRect(0, 0, curves.width, curves.height);
    const j = state.selected;
    document.getElementById("selected").textContent = j < 0 ? "click a joint" : joints[j].name;
    if (j < 0) return;
    const moved = j === data.translatedRoot;
    const h = moved ? curves.height / 2 : curves.height;
    const rotate = (f, a) => val(data.rotateDegrees[(f * J + j) * 3 + a]);
    qmfChart(ctx, { x: 0, y: 0, w: curves.width, h }, "rotate (degrees)", rotate, ratio, F, state.frame);
    if (moved) {
      const translate = (f, a) => val(data.translateCm[f * 3 + a]);
      qmfChart(ctx, { x: 0, y: h, w: curves.width, h }, "translate (cm)", translate, ratio, F, state.frame);
    }
  }

  function drawClock() {
    const scene = data.firstFrame ? ` (scene frame ${+(data.firstFrame + state.frame).toFixed(3)})` : "";
    const second = B ? ` · ${data2.file} frame ${frameOfB(state.frame)}` : "";
    clock.textContent = `frame ${state.frame} / ${timelineFrames - 1}${scene} · ${(state.frame / data.frameRate).toFixed(3)} s${second}`;
    slider.value = String(state.frame);
  }

  function redraw() {
    drawView();
    drawCurves();
    drawClock();
  }

  // ---- facts --------------------------------------------------------------

  function showFacts() {
    const name = B ? `${data.file} and ${data2.file}` : data.file;
    document.title = `${name} · qmf view`;
    document.getElementById("title").textContent = name;
    const facts = [
      ["source", { clip: "Movantis clip", maya: "Maya ASCII scene", bvh: "BVH motion capture", fbx: "FBX file", gltf: "glTF file", collada: "Collada file", "3d": "3D file" }[data.source] || data.source],
      ["frame rate", data.namedRate
        ? `${+data.namedRate.toFixed(3)} fps (Frame Time ${+(1 / data.frameRate).toPrecision(5)} s)`
        : `${+data.frameRate.toFixed(4)} fps`],
      ["frames", data.fileFrames ? String(data.fileFrames) : "none (rest pose)"],
      ["joints", String(J)],
      ["skeletons", String(data.skeletons)],
      ["figures", String(data.figures)],
      ["up axis", data.upAxis.toUpperCase()],
      ["size", `${size.toFixed(1)} cm`],
    ];
    const dl = document.getElementById("facts");
    for (const [k, v] of facts) {
      const dt = document.createElement("dt");
      dt.textContent = k;
      const dd = document.createElement("dd");
      dd.textContent = v;
      dl.append(dt, dd);
    }
  }

  // ---- interaction --------------------------------------------------------

  function setFrame(f) {
    state.frame = ((f % timelineFrames) + timelineFrames) % timelineFrames;
    redraw();
  }

  let lastTick = 0, playFrom = 0;
  function tick(now) {
    if (!state.playing) return;
    const frame = Math.floor(playFrom + ((now - lastTick) / 1000) * data.frameRate);
    if (frame !== state.frame) setFrame(frame);
    requestAnimationFrame(tick);
  }
  function setPlaying(on) {
    state.playing = on && timelineFrames > 1;
    playButton.textContent = state.playing ? "pause" : "play";
    if (state.playing) {
      lastTick = performance.now();
      playFrom = state.frame;
      requestAnimationFrame(tick);
    }
  }

  function nearestJoint(event) {
    if (!state.current) return -1;
    const rect = view.getBoundingClientRect(), ratio = view.width / Math.max(1, rect.width);
    const x = (event.clientX - rect.left) * ratio, y = (event.clientY - rect.top) * ratio;
    let best = -1, bestDistance = 10 * ratio;
    for (let j = 0; j < J; ++j) {
      const c = project(state.current.pos[j]);
      if (!c) continue;
      const d = Math.hypot(c.x - x, c.y - y);
      if (d < bestDistance) { best = j; bestDistance = d; }
    }
    return best;
  }

  let drag = null;
  view.addEventListener("pointerdown", (e) => {
    drag = { x: e.clientX, y: e.clientY, moved: false };
    view.setPointerCapture(e.pointerId);
  });
  view.addEventListener("pointermove", (e) => {
    if (drag) {
      const dx = e.clientX - drag.x, dy = e.clientY - drag.y;
      if (Math.abs(dx) + Math.abs(dy) > 2) drag.moved = true;
      state.yaw -= dx * 0.01;
      state.pitch = Math.max(-1.55, Math.min(1.55, state.pitch + dy * 0.01));
      drag.x = e.clientX;
      drag.y = e.clientY;
      drawView();
      return;
    }
    const j = nearestJoint(e);
    if (j !== state.hover) {
      state.hover = j;
      drawView();
    }
    tip.hidden = j < 0;
    if (j >= 0) {
      tip.textContent = joints[j].name;
      placeTip();
    }
  });
  view.addEventListener("pointerup", (e) => {
    if (drag && !drag.moved) {
      state.selected = nearestJoint(e);
      redraw();
    }
    drag = null;
  });
  view.addEventListener("wheel", (e) => {
    e.preventDefault();
    state.distance = Math.max(size * 0.2, Math.min(size * 50, state.distance * Math.exp(e.deltaY * 0.001)));
    drawView();
  }, { passive: false });

  const views = { front: [0, 0], side: [Math.PI / 2, 0], top: [0, Math.PI / 2 - 1e-6] };
  for (const b of document.querySelectorAll("#views button[data-view]"))
    b.addEventListener("click", () => {
      [state.yaw, state.pitch] = views[b.dataset.view];
      b.blur();  // so space goes on playing rather than pressing the button again
      drawView();
    });

  slider.max = String(timelineFrames - 1);
  const layout = document.getElementById("layout");
  if (B) {
    layout.hidden = false;
    layout.addEventListener("click", () => {
      state.sideBySide = !state.sideBySide;
      layout.textContent = state.sideBySide ? "overlay" : "side by side";
      layout.blur();
      frameTheView();
      drawView();
    });
  }
  const followButton = document.getElementById("follow");
  function setFollow(on) {
    state.follow = on;
    followButton.setAttribute("aria-pressed", String(on));
    if (!on) frameTheView();
    drawView();
  }
  followButton.addEventListener("click", () => {
    followButton.blur();
    setFollow(!state.follow);
  });
  document.getElementById("frameFigure").addEventListener("click", (e) => {
    e.currentTarget.blur();
    frameTheFigure();
    drawView();
  });
  slider.addEventListener("input", () => {
    setPlaying(false);
    setFrame(Number(slider.value));
  });
  playButton.addEventListener("click", () => {
    playButton.blur();
    setPlaying(!state.playing);
  });
  document.addEventListener("keydown", (e) => {
    if (e.target instanceof HTMLInputElement && e.key !== " ") return;
    if (e.key === "ArrowLeft" || e.key === "ArrowRight") {
      e.preventDefault();
      setPlaying(false);
      setFrame(state.frame + (e.key === "ArrowRight" ? 1 : -1));
    } else if (e.key === " ") {
      e.preventDefault();
      setPlaying(!state.playing);
    } else if (e.key === "f") {
      frameTheFigure();
      drawView();
    } else if (e.key === "c") {
      setFollow(!state.follow);
    }
  });
  window.addEventListener("resize", redraw);

  // ---- start ------------------------------------------------------------

  // #frame=N shows frame N; #select=J selects joint J; #selftest=0,5,9
  // writes the world positions of those frames into #selftest as JSON.
  const hash = new URLSearchParams(location.hash.slice(1));
  showFacts();
  if (hash.has("frame")) state.frame = Math.min(timelineFrames - 1, Math.max(0, Number(hash.get("frame")) | 0));
  if (hash.has("select")) state.selected = Math.min(J - 1, Math.max(-1, Number(hash.get("select")) | 0));
  redraw();
  if (hash.has("selftest")) {
    const asked = (hash.get("selftest") || `0,${F >> 1},${F - 1}`).split(",").map((s) => Number(s) | 0);
    const out = { size, frames: {}, screen: [] };
    for (const f of asked) out.frames[f] = pose(f).pos;
    // The second motion at the same times: its own frame and positions.
    if (B) {
      out.framesB = {};
      out.frameOfB = {};
      for (const f of asked) {
        out.frameOfB[f] = frameOfB(f);
        out.framesB[f] = B.pose(frameOfB(f)).pos;
      }
    }
    const box = document.getElementById("selftest");
    // Where the joints of the frame shown are, in CSS pixels of the page, for
    // a test to point at; kept current as the view changes.
    const report = () => {
      const rect = view.getBoundingClientRect(), scale = rect.width / Math.max(1, view.width);
      const onPage = (p) => {
        const c = project(p);
        return c ? [rect.left + c.x * scale, rect.top + c.y * scale] : null;
      };
      out.screen = state.current.pos.map(onPage);
      out.view = { left: rect.left, top: rect.top, width: rect.width, height: rect.height };
      if (B) {
        out.offsetB = offsetB();
        out.screenB = state.currentB.pos.map((p) => onPage(shifted(p, out.offsetB)));
      }
      box.textContent = JSON.stringify(out);
    };
    afterDraw.push(report);
    report();
    box.hidden = false;
  }
})();
