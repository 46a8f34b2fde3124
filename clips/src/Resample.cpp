// A clip re-sampled at another frame rate over the same duration.
#include "clips/Resample.h"

#include "clips/Error.h"

#include <kell_authoring.h>

#include <cmath>

namespace qmf {

namespace {

// Where a new frame falls between the old keys of one track.
struct Span {
    std::size_t before = 0, after = 0;  // key indexes around the position
    double t = 0;                       // 0 at `before`, 1 at `after`
    bool exact = false;                 // on the frame of key `before`
};

// Keys at `frames` positions (old frames, increasing) re-sampled at
// `positions`; `emit(span)` is called for each position within the keys.
template <typename Key, typename Emit>
void resampleTrack(const std::vector<Key>& keys, const std::vector<double>& positions, Emit emit) {
    if (keys.empty()) return;
    std::size_t k = 0;
    for (std::size_t g = 0; g < positions.size(); ++g) {
        const double p = positions[g];
        while (k + 1 < keys.size() && keys[k + 1].frame <= p + 1e-9) ++k;
        const double f0 = keys[k].frame;
        Span s;
        s.before = s.after = k;
        if (std::fabs(p - f0) <= 1e-9) {
            s.exact = true;
        } else if (p < f0 || k + 1 == keys.size()) {
            continue;  // before the first key or after the last: nothing to sample
        } else {
            s.after = k + 1;
            s.t = (p - f0) / (keys[k + 1].frame - f0);
        }
        emit(static_cast<int32_t>(g), s);
    }
}

// Shortest-arc interpolation of two rotations; the four floats are used in
// file order, which differs from Maya's only by signs and order, and neither
// changes angles between quaternions.
quaternion slerp(const quaternion& a, const quaternion& b, double t) {
    double p[4] = {a.f0, a.f1, a.f2, a.f3}, q[4] = {b.f0, b.f1, b.f2, b.f3};
    double np = 0, nq = 0;
    for (int i = 0; i < 4; ++i) np += p[i] * p[i], nq += q[i] * q[i];
    np = std::sqrt(np);
    nq = std::sqrt(nq);
    if (!(np > 0) || !(nq > 0) || !std::isfinite(np) || !std::isfinite(nq)) return t < 0.5 ? a : b;
    double dot = 0;
    for (int i = 0; i < 4; ++i) p[i] /= np, q[i] /= nq, dot += p[i] * q[i];
    if (dot < 0) {
        for (double& v : q) v = -v;
        dot = -dot;
    }
    double wa = 1 - t, wb = t;
    if (dot < 0.9995) {  // near-parallel keys are blended linearly, then normalised
        const double theta = std::acos(dot), s = std::sin(theta);
        wa = std::sin((1 - t) * theta) / s;
        wb = std::sin(t * theta) / s;
    }
    double r[4], nr = 0;
    for (int i = 0; i < 4; ++i) r[i] = wa * p[i] + wb * q[i], nr += r[i] * r[i];
    nr = std::sqrt(nr);
    return quaternion{static_cast<float>(r[0] / nr), static_cast<float>(r[1] / nr), static_cast<float>(r[2] / nr),
                      static_cast<float>(r[3] / nr)};
}

}  // namespace

PackedClip resampledClip(const PackedClip& old, float frameRate, uint64_t budgetBytes) {
    if (!std::isfinite(frameRate) || frameRate <= 0) throw ClipError("frameRate must be a finite number above 0");
    const double ratio = static_cast<double>(old.frameRate) / static_cast<double>(frameRate);
    // The same duration at the new rate: the last new frame is the last that
    // falls within the old last frame's time.
    int64_t count = 0;
    if (old.frameCount > 0) {
        const double last = std::floor(static_cast<double>(old.frameCount - 1) / ratio + 1e-9);
        if (!(last < static_cast<double>(KELL_MAX_FRAMES)))
            throw ClipError("at " + std::to_string(frameRate) + " frames per second the clip would need more than " +
                            std::to_string(KELL_MAX_FRAMES) + " frames");
        count = static_cast<int64_t>(last) + 1;
    }
    // Every keyed track is keyed on every new frame: as packed keys, then in
    // the library's dense tracks (an orientation 20 + 16 bytes a frame, a
    // channel value 8 + 4).
    uint64_t perFrame = 0;
    for (const PackedFigure& f : old.figures) {
        for (const auto& keys : f.channels) perFrame += keys.empty() ? 0 : 12;
        for (const PackedOrientation& o : f.orientations) perFrame += o.keys.empty() ? 0 : 36;
    }
    const uint64_t need = perFrame * static_cast<uint64_t>(count);
    if (budgetBytes && need > budgetBytes)
        throw ClipError("resampling to " + std::to_string(frameRate) + " frames per second makes " +
                        std::to_string(count) + " frames of every keyed track, " + std::to_string(need >> 20) +
                        " MiB, more than the " + std::to_string(budgetBytes >> 20) + " MiB allowed for a clip of its size");
    std::vector<double> positions(static_cast<std::size_t>(count));
    for (std::size_t g = 0; g < positions.size(); ++g) positions[g] = static_cast<double>(g) * ratio;

    PackedClip out;
    out.frameRate = frameRate;
    out.frameCount = static_cast<int32_t>(count);
    out.skeletons = old.skeletons;
    for (const PackedFigure& f : old.figures) {
        PackedFigure nf;
        nf.skeleton = f.skeleton;
        for (int c = 0; c < 3; ++c) {
            const auto& keys = f.channels[c];
            resampleTrack(keys, positions, [&](int32_t frame, const Span& s) {
                const float a = keys[s.before].value, b = keys[s.after].value;
                const float v = s.exact ? a : static_cast<float>(a + (static_cast<double>(b) - a) * s.t);
                nf.channels[c].push_back({frame, v});
            });
        }
        for (const PackedOrientation& o : f.orientations) {
            PackedOrientation no;
            no.joint = o.joint;
            resampleTrack(o.keys, positions, [&](int32_t frame, const Span& s) {
                no.keys.push_back({frame, s.exact ? o.keys[s.before].q : slerp(o.keys[s.before].q, o.keys[s.after].q, s.t)});
            });
            if (!no.keys.empty()) nf.orientations.push_back(std::move(no));
        }
        out.figures.push_back(std::move(nf));
    }
    return out;
}

}  // namespace qmf
