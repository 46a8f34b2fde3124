#!/usr/bin/env python3
"""`qmf view` pages in a real browser (headless Chromium).

For several inputs: the positions the page computes (#selftest) equal those
`qmf view --positions` prints, to 1e-4 of the skeleton's size; no script
error is recorded; a hostile joint name stays text. Two screenshots of one
clip show a skeleton drawn and moved. Driven over the DevTools pipe, the
arrows step, space plays and pauses, hovering names a joint and a click
selects it.

usage: browser_test.py QMF EXAMPLES_DIR CORPUS_DIR
Exits 77 (skipped) when /usr/bin/chromium is missing.
"""
import html
import json
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import zlib

SKIPPED = 77
CHROMIUM = "/usr/bin/chromium"
BROWSER_TIMEOUT = 120  # seconds; a hung browser fails the test

failures = []


def check(ok, message):
    if not ok:
        failures.append(message)
        print("FAIL: " + message)
    return ok


def run(args, **kw):
    r = subprocess.run(args, capture_output=True, text=True, timeout=300, **kw)
    if r.returncode != 0:
        raise SystemExit("command failed: %s\n%s%s" % (" ".join(args), r.stdout, r.stderr))
    return r.stdout


def chromium(work, url, *flags):
    """Runs the browser in a session of its own, killed whole on a timeout."""
    profile = tempfile.mkdtemp(prefix="profile-", dir=work)
    args = [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
            "--no-first-run", "--user-data-dir=" + profile, *flags, url]
    proc = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=work,
                            start_new_session=True)
    try:
        out, err = proc.communicate(timeout=BROWSER_TIMEOUT)
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        proc.communicate()
        raise SystemExit("chromium did not finish within %d s on %s" % (BROWSER_TIMEOUT, url))
    if proc.returncode != 0:
        raise SystemExit("chromium failed (%d) on %s:\n%s" % (proc.returncode, url, err.decode(errors="replace")[-2000:]))
    return out.decode("utf-8", errors="replace")


class Browser:
    """Chromium driven over its DevTools pipe (fds 3 and 4, NUL-ended JSON),
    to press keys and click as a user does and read the page back."""

    def __init__(self, work, url):
        profile = tempfile.mkdtemp(prefix="profile-", dir=work)
        to_browser, self.commands = os.pipe()
        self.replies, from_browser = os.pipe()

        def pipes():
            # Copies first: either end may itself be fd 3 or 4.
            read_end, write_end = os.dup(to_browser), os.dup(from_browser)
            os.dup2(read_end, 3)
            os.dup2(write_end, 4)

        args = [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars", "--no-first-run",
                "--remote-debugging-pipe", "--window-size=1000,600", "--user-data-dir=" + profile, url]
        self.proc = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, cwd=work,
                                     close_fds=False, preexec_fn=pipes, start_new_session=True)
        os.close(to_browser)
        os.close(from_browser)
        self.buffer, self.next_id, self.session = b"", 0, None
        self.deadline = time.monotonic() + BROWSER_TIMEOUT
        targets = self.send("Target.getTargets")["targetInfos"]
        page = next(t for t in targets if t["type"] == "page")
        self.session = self.send("Target.attachToTarget", targetId=page["targetId"], flatten=True)["sessionId"]
        # The first page may still be about:blank: wait for the viewer to have drawn.
        while not self.evaluate("document.readyState === 'complete' && !!document.getElementById('clock')"
                                " && document.getElementById('clock').textContent !== ''"):
            if time.monotonic() > self.deadline:
                raise SystemExit("the page did not load within %d s" % BROWSER_TIMEOUT)
            time.sleep(0.05)

    def send(self, method, **params):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params}
        if self.session and not method.startswith("Target."):
            message["sessionId"] = self.session
        os.write(self.commands, json.dumps(message).encode() + b"\0")
        while True:
            while b"\0" not in self.buffer:
                left = self.deadline - time.monotonic()
                if left <= 0 or not select.select([self.replies], [], [], left)[0]:
                    raise SystemExit("chromium did not answer %s within %d s" % (method, BROWSER_TIMEOUT))
                chunk = os.read(self.replies, 1 << 16)
                if not chunk:
                    raise SystemExit("chromium closed its pipe during " + method)
                self.buffer += chunk
            raw, self.buffer = self.buffer.split(b"\0", 1)
            reply = json.loads(raw)
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise SystemExit("%s: %s" % (method, reply["error"]))
                return reply["result"]

    def evaluate(self, expression):
        return self.send("Runtime.evaluate", expression=expression, returnByValue=True)["result"].get("value")

    def key(self, key, code, keycode):
        for kind in ("rawKeyDown", "keyUp"):
            self.send("Input.dispatchKeyEvent", type=kind, key=key, code=code, windowsVirtualKeyCode=keycode)

    def mouse(self, kind, x, y):
        self.send("Input.dispatchMouseEvent", type=kind, x=x, y=y, button="left", clickCount=1,
                  buttons=1 if kind == "mousePressed" else 0)

    def close(self):
        try:
            self.send("Browser.close")
        except SystemExit:
            pass
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            os.killpg(self.proc.pid, signal.SIGKILL)
            self.proc.wait()
        os.close(self.commands)
        os.close(self.replies)


def check_interaction(qmf, work, clip):
    """Keys step and play, hovering names a joint, a click selects it."""
    page = os.path.join(work, "interact.html")
    run([qmf, "view", clip, "-o", page])
    browser = Browser(work, "file://%s#selftest=0" % page)
    try:
        clock = lambda: browser.evaluate("document.getElementById('clock').textContent")
        frame = lambda: int(clock().split()[1])
        check(frame() == 0, "the page does not start on frame 0: %r" % clock())
        browser.key("ArrowRight", "ArrowRight", 39)
        browser.key("ArrowRight", "ArrowRight", 39)
        check(frame() == 2, "two presses of the right arrow do not show frame 2: %r" % clock())
        browser.key("ArrowLeft", "ArrowLeft", 37)
        check(frame() == 1, "the left arrow does not step back to frame 1: %r" % clock())
        browser.key(" ", "Space", 32)
        seen, start = set(), time.monotonic()
        while time.monotonic() - start < 0.5:  # the clip plays at 30 frames per second
            seen.add(frame())
            time.sleep(0.02)
        browser.key(" ", "Space", 32)
        stopped = frame()
        check(len(seen) >= 3, "space does not play: frames seen %s" % sorted(seen))
        time.sleep(0.3)
        check(frame() == stopped, "space again does not pause (frame %d, then %d)" % (stopped, frame()))

        # The self-test gave the joints' places for frame 0; go back there.
        browser.evaluate("document.getElementById('slider').value = '0';"
                         "document.getElementById('slider').dispatchEvent(new Event('input'))")
        screen = json.loads(browser.evaluate("document.getElementById('selftest').textContent"))["screen"]
        names = [j["name"] for j in json.loads(browser.evaluate("document.getElementById('motion').textContent"))["joints"]]
        joint = max(range(len(screen)), key=lambda j: screen[j][0] if screen[j] else -1)
        x, y = screen[joint]
        browser.mouse("mouseMoved", x, y)
        tip = browser.evaluate("const t = document.getElementById('tip'); t.hidden ? null : t.textContent")
        check(tip == names[joint], "hovering joint %s shows %r" % (names[joint], tip))
        browser.mouse("mousePressed", x, y)
        browser.mouse("mouseReleased", x, y)
        selected = browser.evaluate("document.getElementById('selected').textContent")
        check(selected == names[joint], "clicking joint %s selects %r" % (names[joint], selected))
        errors = browser.evaluate("window.qmfErrors.join('\\n')")
        check(errors == "", "script errors while interacting: %r" % errors)
        print("interaction: arrows step, space plays (%d frames seen) and pauses, %s named and selected"
              % (len(seen), names[joint]))
    finally:
        browser.close()


def check_camera(qmf, work, capture):
    """A capture that walks away from the origin: every view (top included)
    shows the whole figure on every frame; follow keeps it in the middle; the
    frame key frames it; a joint's name stays on it as it moves; a rate of a
    few digits shows as the rate Maya names."""
    page = os.path.join(work, "camera.html")
    run([qmf, "view", capture, "-o", page])
    frames = 0
    browser = Browser(work, "file://%s#selftest=0" % page)
    try:
        state = lambda: json.loads(browser.evaluate("document.getElementById('selftest').textContent"))
        data = json.loads(browser.evaluate("document.getElementById('motion').textContent"))
        frames = data["frames"]

        def inside(result):
            v = result["view"]
            return all(p and v["left"] <= p[0] <= v["left"] + v["width"] and v["top"] <= p[1] <= v["top"] + v["height"]
                       for p in result["screen"])

        def go(frame):
            browser.evaluate("document.getElementById('slider').value = '%d';"
                             "document.getElementById('slider').dispatchEvent(new Event('input'))" % frame)

        for name in ("front", "side", "top"):
            browser.evaluate("document.querySelector('#views button[data-view=%s]').click()" % name)
            for frame in (0, frames // 2, frames - 1):
                go(frame)
                check(inside(state()), "camera: the %s view cuts the figure off at frame %d" % (name, frame))

        # Follow: the figure's middle stays in the middle of the view.
        browser.key("c", "KeyC", 67)
        pressed = browser.evaluate("document.getElementById('follow').getAttribute('aria-pressed')")
        check(pressed == "true", "camera: c does not turn follow on (%r)" % pressed)
        for frame in (frames // 3, frames - 1):
            go(frame)
            r = state()
            xs = [p[0] for p in r["screen"]]
            ys = [p[1] for p in r["screen"]]
            middle = ((min(xs) + max(xs)) / 2, (min(ys) + max(ys)) / 2)
            centre = (r["view"]["left"] + r["view"]["width"] / 2, r["view"]["top"] + r["view"]["height"] / 2)
            check(abs(middle[0] - centre[0]) < 2 and abs(middle[1] - centre[1]) < 2,
                  "camera: following, frame %d's figure is at %s, not the middle %s" % (frame, middle, centre))
        browser.key("c", "KeyC", 67)

        # The frame key: the figure fills much of the view.
        browser.evaluate("document.querySelector('#views button[data-view=front]').click()")
        before = state()
        browser.key("f", "KeyF", 70)
        after = state()
        span = lambda r: max(p[1] for p in r["screen"]) - min(p[1] for p in r["screen"])
        check(inside(after) and span(after) > 0.5 * after["view"]["height"] and span(after) >= span(before),
              "camera: f does not frame the figure (height %.0f px of %.0f)" % (span(after), after["view"]["height"]))

        # The tooltip follows its joint from frame to frame.
        r = state()
        joint = max(range(len(r["screen"])), key=lambda j: r["screen"][j][1])
        browser.mouse("mouseMoved", *r["screen"][joint])
        for step in range(3):
            browser.key("ArrowRight", "ArrowRight", 39)
            r = state()
            box = browser.evaluate("(() => { const t = document.getElementById('tip');"
                                   " const b = t.getBoundingClientRect(); return [b.left, b.top, t.hidden]; })()")
            x, y = r["screen"][joint]
            check(not box[2] and abs(box[0] - (x + 12)) < 1.5 and abs(box[1] - (y + 12)) < 1.5,
                  "camera: the name is at %s, not beside its joint at %s" % (box[:2], (x, y)))

        facts = browser.evaluate("document.getElementById('facts').textContent")
        if abs(data["frameRate"] - 120) < 0.01:
            check("120 fps (Frame Time 0.0083333 s)" in facts, "camera: the rate is shown as %r" % facts)
        errors = browser.evaluate("window.qmfErrors.join('\\n')")
        check(errors == "", "camera: script errors: %r" % errors)
        print("camera: %d frames in every view, follow, frame key, name on its joint" % frames)
    finally:
        browser.close()


def check_compare(qmf, work, first, second):
    """Two motions on one page: each at the frame its time gives, where the
    tool puts it; the layout button moves the second beside the first."""
    page = os.path.join(work, "compare.html")
    run([qmf, "view", first, second, "-o", page])
    frames = [0, 5, 11]
    browser = Browser(work, "file://%s#selftest=%s" % (page, ",".join(map(str, frames))))
    try:
        result = json.loads(browser.evaluate("document.getElementById('selftest').textContent"))
        tolerance = 1e-4 * result["size"]
        for path, key in ((first, "frames"), (second, "framesB")):
            for frame in frames:
                own = frame if key == "frames" else result["frameOfB"][str(frame)]
                ours, page_positions = tool_positions(qmf, path, own), result[key][str(frame)]
                worst = max(abs(a - b) for p, q in zip(ours, page_positions) for a, b in zip(p, q))
                check(len(ours) == len(page_positions) and worst <= tolerance,
                      "compare: %s at timeline frame %d (its frame %d) differs from the tool by %g"
                      % (os.path.basename(path), frame, own, worst))
        overlaid = result["screenB"]
        check(result["offsetB"] == [0, 0, 0], "compare: the second motion does not start overlaid")
        browser.evaluate("document.getElementById('layout').click()")
        result = json.loads(browser.evaluate("document.getElementById('selftest').textContent"))
        check(result["offsetB"][0] > 0, "compare: the layout button does not put the second beside the first")
        beside = result["screenB"]
        moved = [b[0] - a[0] for a, b in zip(overlaid, beside) if a and b]
        check(moved and min(moved) > 20, "compare: the second skeleton did not move on the page: %s" % moved[:3])
        label = browser.evaluate("document.getElementById('layout').textContent")
        check(label == "overlay", "compare: the button does not offer to overlay again: %r" % label)
        errors = browser.evaluate("window.qmfErrors.join('\\n')")
        check(errors == "", "compare: script errors: %r" % errors)
        print("compare: both motions agree with the tool; side by side moves the second %.0f px" % min(moved))
    finally:
        browser.close()


def pre(dom, ident):
    m = re.search(r'<pre id="%s"[^>]*>(.*?)</pre>' % ident, dom, re.S)
    return html.unescape(m.group(1)) if m else None


def tool_positions(qmf, path, frame):
    rows = {}
    for line in run([qmf, "view", "--positions", path, "--frame", str(frame)]).split("\n"):
        if not line or line.startswith("#"):
            continue
        parts = line.split(" ", 4)
        rows[int(parts[0])] = [float(v) for v in parts[1:4]]
    return [rows[i] for i in range(len(rows))]


def check_page(qmf, work, path, frames, select=0):
    """The page's positions against the tool's, and no script error."""
    name = os.path.basename(path)
    page = os.path.join(work, name + ".html")
    run([qmf, "view", path, "-o", page])
    text = open(page, encoding="utf-8", errors="replace").read()
    for outside in ("http:", "https:", "<link", " src=", "url(", "@import"):
        check(outside not in text, "%s: the page reaches outside itself (%r)" % (name, outside))
    url = "file://%s#selftest=%s&select=%d" % (page, ",".join(map(str, frames)), select)
    dom = chromium(work, url, "--dump-dom")
    errors = pre(dom, "errors")
    check(errors == "", "%s: script errors: %r" % (name, errors))
    result = pre(dom, "selftest")
    if not check(result, "%s: the page wrote no self-test result" % name):
        return dom
    result = json.loads(result)
    tolerance = 1e-4 * result["size"]
    for frame in frames:
        ours = tool_positions(qmf, path, frame)
        page_positions = result["frames"][str(frame)]
        if not check(len(ours) == len(page_positions), "%s frame %d: %d joints in the page, %d from the tool"
                     % (name, frame, len(page_positions), len(ours))):
            continue
        worst = max(abs(a - b) for p, q in zip(ours, page_positions) for a, b in zip(p, q))
        check(worst <= tolerance, "%s frame %d: page and tool differ by %g (allowed %g)" % (name, frame, worst, tolerance))
        print("%s frame %d: %d joints agree within %.3g" % (name, frame, len(ours), worst))
    return dom


def read_png(path):
    """RGB(A) pixels of an 8-bit, non-interlaced PNG as rows of bytes."""
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise SystemExit(path + ": not a PNG")
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    if depth != 8 or colour not in (2, 6) or interlace:
        raise SystemExit("%s: PNG kind not handled (depth %d, colour %d)" % (path, depth, colour))
    bpp = 3 if colour == 2 else 4
    raw, stride, rows, prev = zlib.decompress(idat), width * bpp, [], bytearray(width * bpp)
    for y in range(height):
        start = y * (stride + 1)
        kind, row = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            a = row[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if kind == 1:
                row[i] = (row[i] + a) & 255
            elif kind == 2:
                row[i] = (row[i] + b) & 255
            elif kind == 3:
                row[i] = (row[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                row[i] = (row[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(row)
        prev = row
    return width, height, bpp, rows


def stage_pixels(png, width, height):
    """Pixels of the 3D view (left of the side panel, above the timeline)."""
    w, h, bpp, rows = png
    return [tuple(rows[y][x * bpp:x * bpp + 3]) for y in range(0, min(h, height)) for x in range(0, min(w, width))]


def check_screenshots(qmf, work, clip):
    page = os.path.join(work, "moving.html")
    run([qmf, "view", clip, "-o", page])
    shots = []
    for frame in (0, 15):
        shot = os.path.join(work, "frame%d.png" % frame)
        chromium(work, "file://%s#frame=%d" % (page, frame), "--window-size=1000,600", "--screenshot=" + shot)
        shots.append(stage_pixels(read_png(shot), 660, 540))
    bone, dots = (216, 221, 229), ((158, 203, 255), (255, 107, 107))
    for frame, pixels in zip((0, 15), shots):
        drawn = sum(1 for p in pixels if max(abs(p[i] - bone[i]) for i in range(3)) < 24)
        joints = sum(1 for p in pixels for d in dots if max(abs(p[i] - d[i]) for i in range(3)) < 24)
        check(drawn > 200 and joints > 40, "frame %d: the skeleton is not drawn (%d bone and %d joint pixels)"
              % (frame, drawn, joints))
    moved = sum(1 for a, b in zip(*shots) if max(abs(a[i] - b[i]) for i in range(3)) > 40)
    check(moved > 200, "the skeleton does not move between frames 0 and 15 (%d pixels differ)" % moved)
    print("screenshots: %d pixels of the view differ between frames 0 and 15" % moved)


def main():
    if len(sys.argv) != 4:
        raise SystemExit(__doc__)
    qmf, examples, corpus = sys.argv[1:]
    if not os.access(CHROMIUM, os.X_OK):
        print("SKIPPED: %s is not installed (scripts/deps.sh installs the chromium package)" % CHROMIUM)
        return SKIPPED
    work = tempfile.mkdtemp(prefix="qmf-view-test-")
    try:
        clip = os.path.join(work, "walk.qmf")
        run([qmf, "pack", os.path.join(examples, "walk.json"), clip])
        check_page(qmf, work, clip, [0, 7, 15])

        scene = os.path.join(work, "walk-on-rig.ma")
        run([qmf, "import", clip, os.path.join(examples, "rig.ma"), "-o", scene])
        check_page(qmf, work, scene, [0, 5, 11], select=0)

        # A name written to break out of the script element stays a name.
        hostile = json.load(open(os.path.join(examples, "walk.json")))
        hostile["skeletons"][0]["joints"][1]["name"] = "</script><!--<script>&\u2028x"
        hostile_json = os.path.join(work, "hostile.json")
        json.dump(hostile, open(hostile_json, "w"))
        hostile_clip = os.path.join(work, "hostile.qmf")
        run([qmf, "pack", hostile_json, hostile_clip])
        dom = check_page(qmf, work, hostile_clip, [0, 3], select=1)
        heading = re.search(r'<h2 id="selected">(.*?)</h2>', dom, re.S)
        check(heading and html.unescape(heading.group(1)) == "</script><!--<script>&\u2028x",
              "the hostile name is not shown as text: %r" % (heading and heading.group(1)))

        bvh = os.path.join(corpus, "bvh")
        if os.path.isdir(bvh):
            check_page(qmf, work, os.path.join(bvh, "walk1.bvh"), [0, 6, 13])
            check_page(qmf, work, os.path.join(bvh, "pfnn_hierarchy.bvh"), [0, 31, 59], select=5)
            check_camera(qmf, work, os.path.join(bvh, "01_01.bvh"))
        else:
            print("corpus BVH files not found at %s: those inputs skipped" % bvh)

        check_screenshots(qmf, work, clip)
        check_interaction(qmf, work, clip)
        check_compare(qmf, work, clip, scene)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
