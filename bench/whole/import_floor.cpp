// The floor `qmf import` is measured against, written without the host:
// read the clip, per key widen the file quaternion, Q * O^-1, convert to
// Euler angles in the joint's order, take the solution closest to the
// previous key, store time and value; then (unless --no-write) write those
// keys as Maya ASCII curves with shortest round-trip formatting.
//   import_floor CLIP.qmf JOINTS OUT.ma [--no-write]
// Prints CPU seconds per phase.
#include "ClipShape.h"

#include <kell.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

struct Quat {
    double x, y, z, w;
};

// Hamilton product a (x) b: b applied first, then a.
Quat mul(const Quat& a, const Quat& b) {
    return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

Quat axisQuat(int axis, double angle) {
    Quat q{0, 0, 0, std::cos(angle / 2)};
    (&q.x)[axis] = std::sin(angle / 2);
    return q;
}

// Axes applied first, second, third per Maya order number, and whether the
// sequence is an odd permutation of x, y, z.
const int kAxes[6][3] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}, {0, 2, 1}, {1, 0, 2}, {2, 1, 0}};
const bool kOdd[6] = {false, false, false, true, true, true};

// Column-vector rotation matrix of unit-or-not q (scaled to a rotation).
void toMatrix(const Quat& q, double m[3][3]) {
    const double n = q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w;
    const double s = 2.0 / n;
    m[0][0] = 1 - s * (q.y * q.y + q.z * q.z);
    m[0][1] = s * (q.x * q.y - q.w * q.z);
    m[0][2] = s * (q.x * q.z + q.w * q.y);
    m[1][0] = s * (q.x * q.y + q.w * q.z);
    m[1][1] = 1 - s * (q.x * q.x + q.z * q.z);
    m[1][2] = s * (q.y * q.z - q.w * q.x);
    m[2][0] = s * (q.x * q.z - q.w * q.y);
    m[2][1] = s * (q.y * q.z + q.w * q.x);
    m[2][2] = 1 - s * (q.x * q.x + q.y * q.y);
}

// Angles about axes i, j, k applied in that order: R = Rk(c) Rj(b) Ri(a) for
// column vectors. Relabelled so the sequence reads x, y, z; an odd
// relabelling makes the frame left-handed, which negates every angle.
void toEuler(const Quat& q, int order, double out[3]) {
    double m[3][3];
    toMatrix(q, m);
    const int* p = kAxes[order];
    double n[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) n[r][c] = m[p[r]][p[c]];
    // n = Rz(c) Ry(b) Rx(a): n[2][0] = -sin b, n[2][1] = cos b sin a, n[2][2] = cos b cos a.
    const double cb = std::hypot(n[0][0], n[1][0]);
    const double b = std::atan2(-n[2][0], cb);
    // Near gimbal lock only a + c is defined: a = 0 and c takes it all.
    const double a = cb > 8.0 * 2.220446049250313e-16 ? std::atan2(n[2][1], n[2][2]) : 0.0;
    const double sa = std::sin(a), ca = std::cos(a);
    const double c = std::atan2(sa * n[0][2] - ca * n[0][1], ca * n[1][1] - sa * n[1][2]);
    const double sg = kOdd[order] ? -1.0 : 1.0;
    out[p[0]] = sg * a;
    out[p[1]] = sg * b;
    out[p[2]] = sg * c;
}

double cut(double a, double target) { return a + 2 * clipshape::kPi * std::nearbyint((target - a) / (2 * clipshape::kPi)); }

void closest(double e[3], const double prev[3], int order) {
    double same[3], alt[3];
    const int i = kAxes[order][0], j = kAxes[order][1], k = kAxes[order][2];
    double o[3] = {e[0], e[1], e[2]};
    o[i] += clipshape::kPi;
    o[j] = clipshape::kPi - o[j];
    o[k] += clipshape::kPi;
    double ds = 0, da = 0;
    for (int a = 0; a < 3; ++a) {
        same[a] = cut(e[a], prev[a]);
        alt[a] = cut(cut(o[a], 0.0), prev[a]);
        ds += std::fabs(same[a] - prev[a]);
        da += std::fabs(alt[a] - prev[a]);
    }
    for (int a = 0; a < 3; ++a) e[a] = da < ds ? alt[a] : same[a];
}

// Buffered output; numbers as the shortest text that reads back the same.
class Out {
public:
    explicit Out(FILE* f) : f_(f) { buf_.resize(1 << 20); }
    ~Out() { flush(); }
    void text(const char* s) { raw(s, std::strlen(s)); }
    void number(double v) {
        room(32);
        buf_[used_++] = ' ';
        used_ = static_cast<std::size_t>(std::to_chars(&buf_[used_], &buf_[used_] + 32, v).ptr - buf_.data());
    }
    void raw(const char* s, std::size_t n) {
        room(n);
        std::memcpy(&buf_[used_], s, n);
        used_ += n;
    }
    void flush() {
        if (used_) std::fwrite(buf_.data(), 1, used_, f_);
        used_ = 0;
    }

private:
    void room(std::size_t n) {
        if (used_ + n + 1 > buf_.size()) flush();
    }
    FILE* f_;
    std::vector<char> buf_;
    std::size_t used_ = 0;
};

struct Curve {
    std::string name, attr;
    char kind;  // 'A' degrees, 'L' centimetres
    std::vector<double> times, values;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: import_floor CLIP.qmf JOINTS OUT.ma [--no-write]\n");
        return 2;
    }
    const int joints = std::atoi(argv[2]);
    const bool write = !(argc > 4 && std::strcmp(argv[4], "--no-write") == 0);
    const double t0 = cpuSeconds();
    FM_FILE_IDENTIFIER_TYPE id{};
    fm_path_name_to_file_id_f(argv[1], &id);
    ANM_ANIMATION_HANDLE anim = anm_animation_open_f(&id, 1);
    if (anim == ANM_INVALID_ANIMATION) {
        std::fprintf(stderr, "import_floor: cannot open %s\n", argv[1]);
        return 1;
    }
    FIG_FIGURE_HANDLE fig = anm_animation_figure_get_by_index_f(anim, 0);
    const double fps = anm_animation_frame_rate_get_f(anim);
    const double spf = 1.0 / fps;
    const int32_t last = anm_animation_number_of_frames_get_f(anim);
    const double t1 = cpuSeconds();

    std::vector<Curve> curves;
    const char* xyz = "XYZ";
    for (int c = 0; c < 3; ++c) {
        Curve cv{"j0_translate" + std::string(1, xyz[c]), "translate" + std::string(1, xyz[c]), 'L', {}, {}};
        for (int32_t f = 0; f <= last; ++f) {
            if (!fgf_frame_value_key_f(fig, f, c + 1)) continue;
            const double v = static_cast<double>(fgf_frame_value_get_f(fig, f, c + 1)) * 100.0;
            cv.times.push_back(f * spf);
            cv.values.push_back(c == 2 ? -v : v);
        }
        curves.push_back(std::move(cv));
    }
    for (int j = 0; j < joints; ++j) {
        double jo[3];
        clipshape::jointOrientDegrees(j, jo);
        const double r = clipshape::kPi / 180.0;
        // Orient X, then Y, then Z; its inverse undoes Z, then Y, then X.
        const Quat o = mul(axisQuat(2, jo[2] * r), mul(axisQuat(1, jo[1] * r), axisQuat(0, jo[0] * r)));
        const double on = o.x * o.x + o.y * o.y + o.z * o.z + o.w * o.w;
        const Quat oInv{-o.x / on, -o.y / on, -o.z / on, o.w / on};
        const int order = clipshape::rotateOrder(j);
        const std::size_t base = curves.size();
        for (int c = 0; c < 3; ++c)
            curves.push_back({clipshape::jointName(j) + "_rotate" + xyz[c], "rotate" + std::string(1, xyz[c]), 'A', {}, {}});
        for (int c = 0; c < 3; ++c) {
            curves[base + c].times.reserve(static_cast<std::size_t>(last) + 1);
            curves[base + c].values.reserve(static_cast<std::size_t>(last) + 1);
        }
        double prev[3] = {0, 0, 0};
        for (int32_t f = 0; f <= last; ++f) {
            if (!fgf_frame_joint_orientation_key_f(fig, f, static_cast<SKL_JOINT_ID>(j), 0)) continue;
            quaternion fq{};
            fgf_frame_joint_orientation_get(fig, f, static_cast<SKL_JOINT_ID>(j), &fq, 1);
            const Quat q{static_cast<double>(fq.f1), static_cast<double>(fq.f2), -static_cast<double>(fq.f3),
                         -static_cast<double>(fq.f0)};
            double e[3];
            toEuler(mul(oInv, q), order, e);
            closest(e, prev, order);
            for (int c = 0; c < 3; ++c) {
                prev[c] = e[c];
                curves[base + c].times.push_back(f * spf);
                curves[base + c].values.push_back(e[c]);
            }
        }
    }
    const double t2 = cpuSeconds();
    if (write) {
        FILE* f = std::fopen(argv[3], "wb");
        if (!f) {
            std::fprintf(stderr, "import_floor: cannot write %s\n", argv[3]);
            return 1;
        }
        {
            Out out(f);
            for (const Curve& cv : curves) {
                const double factor = cv.kind == 'A' ? clipshape::kPi / 180.0 : 1.0;
                const std::string n = std::to_string(cv.times.size());
                out.text(("createNode animCurveT" + std::string(1, cv.kind) + " -n \"" + cv.name + "\";\n").c_str());
                // Every key linear: the curve's tangent type says it for all of them.
                out.text("\tsetAttr \".tan\" 2;\n");
                out.text(("\tsetAttr -s " + n + " \".ktv[0:" + std::to_string(cv.times.size() - 1) + "]\" ").c_str());
                for (std::size_t k = 0; k < cv.times.size(); ++k) {
                    out.number(cv.times[k] * fps);
                    out.number(cv.values[k] / factor);
                }
                out.text(";\n");
            }
        }
        std::fclose(f);
    }
    const double t3 = cpuSeconds();
    std::size_t keys = 0;
    for (const Curve& cv : curves) keys += cv.times.size();
    std::printf("floor: %zu keys; open %.3f s, maths %.3f s, write %.3f s, total %.3f s CPU\n", keys, t1 - t0, t2 - t1,
                t3 - t2, t3 - t0);
    anm_animation_dispose(anim);
    return 0;
}
