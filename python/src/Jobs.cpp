// The module's jobs through the command's libraries: qmf.bake,
// qmf.retarget and qmf.match_joints.
#include "Jobs.h"

#include "Bake.h"

#include "formats/Formats.h"
#include "formats/Rig.h"
#include "formats/Session.h"
#include "formats/Units.h"
#include "formats/UpAxis.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace py = pybind11;

namespace {

using FrameRange = std::optional<std::pair<double, double>>;

// A number of frames as the command's flags take it, every digit kept.
std::string frameText(double v) {
    std::ostringstream t;
    t.precision(17);
    t << v;
    return t.str();
}

// What reading takes from the keywords the jobs share, as the command's
// --frames, --step, --time and --plugin.
void reading(qmf::formats::ConvertOptions& o, const FrameRange& frames, int64_t step, const std::optional<double>& time,
             const py::object& plugin) {
    if (step < 1 || step > 1000000000) throw py::value_error("step must be 1 or more");
    if (frames) o.frames = frameText(frames->first) + ":" + frameText(frames->second);
    o.step = static_cast<uint32_t>(step);
    if (time) o.time = frameText(*time);
    if (!plugin.is_none()) o.plugin = pathArg(plugin);
}

// qmf.read and qmf.bake: a file read, or a scene baked, into a new clip.
void bindReading(py::module_& m) {
    m.def(
        "read",
        [](const py::object& path, const std::optional<std::string>& take, const std::optional<double>& rate,
           const FrameRange& frames, int64_t step, const std::optional<std::string>& unit,
           const std::optional<std::string>& up, const py::object& plugin) {
            qmf::formats::ConvertOptions o;
            reading(o, frames, step, std::nullopt, plugin);
            if (take) o.take = *take;
            if (rate) {
                if (!std::isfinite(*rate) || !(*rate > 0) || *rate > 100000) throw py::value_error("rate must be above 0 (at most 100000)");
                o.rate = *rate;
            }
            if (unit) {
                const qmf::formats::LengthUnit& u = qmf::formats::lengthUnit(*unit);
                o.unitToCm = u.cm;
                o.unitName = u.name;
            }
            if (up) o.up = qmf::formats::parseUp(*up);
            std::vector<std::string> warnings;
            auto clip = qmfpy::readMotion(pathArg(path), o, warnings);
            for (const std::string& w : warnings) PyErr_WarnEx(PyExc_UserWarning, w.c_str(), 1);
            return clip;
        },
        py::arg("path"), py::arg("take") = py::none(), py::arg("rate") = py::none(), py::arg("frames") = py::none(),
        py::arg("step") = 1, py::arg("unit") = py::none(), py::arg("up") = py::none(), py::arg("plugin") = py::none(),
        "Any motion file `qmf convert` reads (a clip, a BVH capture, a Maya ASCII scene, FBX, glTF, Collada) as "
        "a clip: a clip is opened, anything else converted as `qmf convert IN CLIP.qmf` does. `take` (a name or "
        "its number in `qmf info`), `rate`, `unit` (a BVH file's) and `up` (\"auto\", \"y\" or \"z\") are the "
        "command's --take, --rate, --unit and --up. What reading says (units applied, what a clip cannot hold) "
        "are Python warnings.");

    m.def(
        "bake",
        [](const py::object& scene, const FrameRange& frames, int64_t step, const std::optional<std::string>& root,
           const std::optional<double>& time, const py::object& plugin) {
            qmf::formats::ConvertOptions o;
            reading(o, frames, step, time, plugin);
            if (root) o.root = *root;
            std::vector<std::string> warnings;
            auto clip = qmfpy::bake(pathArg(scene), o, warnings);
            for (const std::string& w : warnings) PyErr_WarnEx(PyExc_UserWarning, w.c_str(), 1);
            return clip;
        },
        py::arg("scene_path"), py::arg("frames") = py::none(), py::arg("step") = 1, py::arg("root") = py::none(),
        py::arg("time") = py::none(), py::arg("plugin") = py::none(),
        "A Maya ASCII scene's animation baked into a new clip, as `qmf convert SCENE.ma CLIP.qmf` does: the "
        "skeleton export writes (posed at `time`, in frames; default the scene's current time), then frames "
        "(first, last) of the scene (default its playback range) every `step`. Warnings (channels the host "
        "cannot evaluate, what a clip cannot hold) are Python warnings.");

    // Pairs given as a dict {source: rig}, or a map file's path.
}

// qmf.retarget and qmf.match_joints.
void bindRetargeting(py::module_& m) {
    auto pairsOf = [](const py::object& mapping, qmf::retarget::RetargetOptions& o) {
        std::vector<std::pair<std::string, std::string>> pairs;
        if (mapping.is_none()) return pairs;
        if (py::isinstance<py::dict>(mapping)) {
            for (const auto& item : mapping.cast<py::dict>())
                pairs.emplace_back(item.first.cast<std::string>(), item.second.cast<std::string>());
        } else {
            o.mapFile = pathArg(mapping);
        }
        return pairs;
    };
    auto retargetOptions = [](const FrameRange& frames, int64_t step, const py::object& scale,
                              const std::optional<int64_t>& sourceRest, const std::optional<double>& time,
                              const py::object& plugin) {
        qmf::retarget::RetargetOptions o;
        reading(o.read, frames, step, time, plugin);
        if (!py::isinstance<py::str>(scale) || scale.cast<std::string>() != "auto") {
            const double k = scale.cast<double>();
            if (!std::isfinite(k) || !(k > 0)) throw py::value_error("scale must be \"auto\" or a number above 0");
            o.scale = k;
        }
        if (sourceRest) {
            if (*sourceRest < 0 || *sourceRest > UINT32_MAX) throw py::value_error("source_rest must be a frame from 0");
            o.sourceRest = static_cast<uint32_t>(*sourceRest);
        }
        return o;
    };
    m.def(
        "retarget",
        [pairsOf, retargetOptions](const py::object& source, const py::object& rig, const py::object& mapping,
                                   const py::object& scale, const FrameRange& frames,
                                   int64_t step, const std::optional<int64_t>& sourceRest,
                                   const std::optional<double>& time, const std::string& up, const py::object& plugin) {
            qmf::retarget::RetargetOptions o = retargetOptions(frames, step, scale, sourceRest, time, plugin);
            if (up != "y" && up != "z") throw py::value_error("up must be \"y\" or \"z\"");
            o.up = up[0];
            const auto pairs = pairsOf(mapping, o);
            std::vector<std::string> warnings;
            auto clip = qmfpy::retarget(pathArg(source), pathArg(rig), o, pairs, warnings);
            for (const std::string& w : warnings) PyErr_WarnEx(PyExc_UserWarning, w.c_str(), 1);
            return clip;
        },
        py::arg("source"), py::arg("rig"), py::arg("mapping") = py::none(), py::arg("scale") = "auto",
        py::arg("frames") = py::none(), py::arg("step") = 1, py::arg("source_rest") = py::none(),
        py::arg("time") = py::none(), py::arg("up") = "y", py::arg("plugin") = py::none(),
        "The motion of `source` (a clip, BVH capture or Maya ASCII scene) retargeted onto the rig scene `rig`, "
        "as `qmf retarget SOURCE RIG -o CLIP.qmf` makes it: a new clip of the rig's joints. `mapping` pairs "
        "joints the matching misses ({source: rig}, or a map file's path); `scale` is \"auto\" (the hip "
        "heights' ratio) or a number; `frames` (first, last) and `step` choose the source's frames; "
        "`source_rest` takes a frame as the source's rest; `time` is the rig's rest frame; `up` is the source's "
        "up axis (\"y\" or \"z\").");
    m.def(
        "match_joints",
        [pairsOf](const py::object& source, const py::object& rig, const py::object& mapping,
                  const std::optional<double>& time, const py::object& plugin) {
            qmf::retarget::RetargetOptions o;
            reading(o.read, std::nullopt, 1, time, plugin);
            const auto pairs = pairsOf(mapping, o);
            std::vector<std::string> warnings;
            const auto rows = qmfpy::matchJoints(pathArg(source), pathArg(rig), o, pairs, warnings);
            for (const std::string& w : warnings) PyErr_WarnEx(PyExc_UserWarning, w.c_str(), 1);
            py::list out;
            for (const auto& r : rows) out.append(py::make_tuple(r.source, r.rig, r.how));
            return out;
        },
        py::arg("source"), py::arg("rig"), py::arg("mapping") = py::none(), py::arg("time") = py::none(),
        py::arg("plugin") = py::none(),
        "The pairs `qmf retarget --dry-run` prints: (source joint, rig joint, how matched) for each rig joint "
        "matched, in the rig's joint order, so a pipeline can review matches before retargeting.");
}

// qmf.read_rig: what orientation_to_euler needs of each joint of a rig.
void bindRig(py::module_& m) {
    m.def(
        "read_rig",
        [](const py::object& path, const std::optional<double>& time) {
            const auto joints = qmf::formats::readRig(pathArg(path), time ? frameText(*time) : std::string());
            const auto n = static_cast<py::ssize_t>(joints.size());
            py::list names;
            py::array_t<int32_t> parents(n), orders(n);
            py::array_t<double> orients({n, py::ssize_t{3}}), translates({n, py::ssize_t{3}}), rotates({n, py::ssize_t{3}});
            for (py::ssize_t i = 0; i < n; ++i) {
                const auto& j = joints[static_cast<std::size_t>(i)];
                names.append(j.name);
                parents.mutable_at(i) = j.parent;
                orders.mutable_at(i) = j.rotateOrder;
                for (py::ssize_t k = 0; k < 3; ++k) {
                    orients.mutable_at(i, k) = j.jointOrient[static_cast<std::size_t>(k)];
                    translates.mutable_at(i, k) = j.translate[static_cast<std::size_t>(k)];
                    rotates.mutable_at(i, k) = j.rotate[static_cast<std::size_t>(k)];
                }
            }
            py::dict out;
            out["names"] = names;
            out["parents"] = parents;
            out["joint_orient"] = orients;
            out["rotate_order"] = orders;
            out["translate"] = translates;
            out["rotate"] = rotates;
            return out;
        },
        py::arg("path"), py::arg("time") = py::none(),
        "The joints of a Maya ASCII rig in the order export and import walk them, as a dict of arrays: "
        "names, parents (-1 for a root), joint_orient (n, 3) degrees, rotate_order (0 xyz .. 5 zyx), and "
        "translate (n, 3) centimetres and rotate (n, 3) degrees at `time` (frames; the scene's current time "
        "by default): what orientation_to_euler needs for each joint.");
}

}  // namespace

void bindJobs(py::module_& m) {
    bindReading(m);
    bindRetargeting(m);
    bindRig(m);
}
