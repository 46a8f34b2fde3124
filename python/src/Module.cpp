// The `qmf` Python module: Movantis clips as plain attributes and NumPy
// arrays, over the animation library and the tool's own clip code.
#include "Animation.h"
#include "Arrays.h"
#include "Bake.h"
#include "Jobs.h"
#include "clips/Clip.h"
#include "clips/ClipCopy.h"
#include "clips/Resample.h"
#include "Keys.h"
#include "Rotations.h"
#include "fileio/SafeFile.h"

#include <kell_authoring.h>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <set>
#include <sstream>

namespace py = pybind11;
using qmf::ClipError;
using qmfpy::AnimationPtr;
using qmfpy::CArray;
using qmfpy::axisArg;
using qmfpy::indexArg;
using qmfpy::needShape;

namespace {

PyObject* gError = nullptr;  // qmf.Error, owned by the module

// A figure of a clip, by index: the clip may be rebuilt under it.
struct Figure {
    AnimationPtr clip;
    int32_t index;
    FIG_FIGURE_HANDLE handle() const { return clip->figure(index); }
    int32_t jointCount() const { return skl_skeleton_number_of_joints_get_f(fig_figure_get_skel(handle())); }
};

py::tuple channel(const Figure& fig, const py::object& axis) {
    const int32_t n = fig.clip->frameCount();
    py::array_t<float> values(n);
    py::array_t<bool> keyed(n);
    qmfpy::readChannel(fig.handle(), axisArg(axis) + 1, n, values.mutable_data(),
                       reinterpret_cast<uint8_t*>(keyed.mutable_data()));
    fig.clip->refuseIfChanged();
    return py::make_tuple(values, keyed);
}

void setChannel(const Figure& fig, const py::object& axis, const CArray<float>& values,
                const std::optional<CArray<bool>>& keyed) {
    const int32_t n = fig.clip->frameCount();
    needShape(values, {n}, "values");
    if (keyed) needShape(*keyed, {n}, "mask");
    try {
        qmfpy::writeChannel(fig.handle(), axisArg(axis) + 1, n, values.data(),
                            keyed ? reinterpret_cast<const uint8_t*>(keyed->data()) : nullptr);
    } catch (const ClipError&) {
        fig.clip->refuseIfChanged();  // a refused key of a clip cut meanwhile says so
        throw;
    }
}

// A file may claim millions of frames over few keys; the dense arrays may
// take at most twice what the library holds for the clip, or 1 GiB.
void checkDenseSize(const qmfpy::Animation& clip, int32_t frames, int32_t joints) {
    const uint64_t need = static_cast<uint64_t>(frames) * static_cast<uint64_t>(joints) * (4 * sizeof(float) + 1);
    const uint64_t held = anm_animation_memory_size_get_f(clip.handle());
    const uint64_t budget = qmf::clipMemoryBudget(held);
    if (need > budget)
        throw ClipError(clip.label() + ": the orientation arrays of " + std::to_string(frames) + " frames x " +
                        std::to_string(joints) + " joints would take " + std::to_string(need >> 20) +
                           " MiB, more than the " + std::to_string(budget >> 20) + " MiB allowed for a clip of its size");
}

py::tuple orientations(const Figure& fig) {
    const int32_t n = fig.clip->frameCount(), joints = fig.jointCount();
    checkDenseSize(*fig.clip, n, joints);
    py::array_t<float> keys({static_cast<py::ssize_t>(n), static_cast<py::ssize_t>(joints), py::ssize_t{4}});
    py::array_t<bool> keyed({static_cast<py::ssize_t>(n), static_cast<py::ssize_t>(joints)});
    qmfpy::readOrientations(fig.handle(), n, joints, keys.mutable_data(), reinterpret_cast<uint8_t*>(keyed.mutable_data()));
    fig.clip->refuseIfChanged();
    return py::make_tuple(keys, keyed);
}

void setOrientations(const Figure& fig, const CArray<float>& keys, const std::optional<CArray<bool>>& keyed) {
    const int32_t n = fig.clip->frameCount(), joints = fig.jointCount();
    needShape(keys, {n, joints, 4}, "keys");
    if (keyed) needShape(*keyed, {n, joints}, "mask");
    try {
        qmfpy::writeOrientations(fig.handle(), n, joints, keys.data(),
                                 keyed ? reinterpret_cast<const uint8_t*>(keyed->data()) : nullptr);
    } catch (const ClipError&) {
        fig.clip->refuseIfChanged();
        throw;
    }
}

py::tuple vec3(const coord3& c) { return py::make_tuple(c.x, c.y, c.z); }

// The body volume of a joint as plain values, or None.
py::object body(const qmf::PackedJoint& j) {
    if (!j.hasBody) return py::none();
    py::list prims;
    for (const auto& p : j.primitives) {
        py::dict d;
        d["kind"] = p.bone ? "bone" : "sphere";
        if (p.bone) {
            d["length"] = p.size;
            d["direction"] = vec3(p.direction);
        } else {
            d["radius"] = p.size;
        }
        prims.append(d);
    }
    py::dict b;
    b["primitives"] = prims;
    b["bounds"] = j.hasBounds ? py::object(py::make_tuple(vec3(j.boundsMin), vec3(j.boundsMax))) : py::none();
    return std::move(b);
}

std::vector<qmf::PackedSkeleton> distinctSkeletons(const qmfpy::Animation& clip) {
    std::vector<qmf::PackedSkeleton> out;
    std::set<SKL_SKELETON_HANDLE> seen;
    for (int32_t f = 0; f < clip.figureCount(); ++f) {
        SKL_SKELETON_HANDLE sk = fig_figure_get_skel(clip.figure(f));
        if (seen.insert(sk).second) out.push_back(qmf::readPackedSkeleton(sk));
    }
    return out;
}

std::vector<Figure> figures(const AnimationPtr& clip) {
    std::vector<Figure> out;
    for (int32_t f = 0; f < clip->figureCount(); ++f) out.push_back({clip, f});
    return out;
}

Figure addFigure(const AnimationPtr& clip, const std::string& name, const std::vector<std::string>& jointNames,
                 const std::vector<int64_t>& parents, const std::optional<CArray<float>>& offsets,
                 const std::optional<CArray<float>>& orients, const std::optional<std::vector<bool>>& roots) {
    const auto n = static_cast<py::ssize_t>(jointNames.size());
    qmfpy::NewSkeleton sk;
    sk.name = name;
    sk.jointNames = jointNames;
    sk.parents = parents;
    if (roots) {
        sk.roots = *roots;
    } else {
        for (int64_t p : parents) sk.roots.push_back(p < 0);
    }
    sk.offsets.assign(jointNames.size(), coord3{0, 0, 0});
    sk.orientations.assign(jointNames.size(), quaternion{-1, 0, 0, 0});  // no rotation, in file order
    if (offsets) {
        needShape(*offsets, {n, 3}, "offsets");
        std::memcpy(sk.offsets.data(), offsets->data(), jointNames.size() * sizeof(coord3));
    }
    if (orients) {
        needShape(*orients, {n, 4}, "orientations");
        std::memcpy(sk.orientations.data(), orients->data(), jointNames.size() * sizeof(quaternion));
    }
    return {clip, qmfpy::addFigure(*clip, sk)};
}

}  // namespace

PYBIND11_MODULE(qmf, m) {
    m.doc() = "Movantis clips (.qmf) as NumPy arrays, through the Kell animation library.";
    // Refusals carry the tool's one-line messages.
    gError = py::register_exception<ClipError>(m, "Error", PyExc_RuntimeError).ptr();
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const fileio::Error& e) {
            PyErr_SetString(gError, e.what());
        } catch (const qmf::FormatError& e) {
            PyErr_SetString(gError, e.what());
        }
    });

    py::class_<qmf::PackedJoint>(m, "Joint", "A skeleton joint: lengths in metres, rotations as 4 floats in file order.")
        .def_readonly("name", &qmf::PackedJoint::name)
        .def_readonly("parent", &qmf::PackedJoint::parent, "index of the parent joint, -1 for none")
        .def_readonly("root", &qmf::PackedJoint::root)
        .def_property_readonly("offset", [](const qmf::PackedJoint& j) { return vec3(j.offset); })
        .def_property_readonly("orientation",
                               [](const qmf::PackedJoint& j) {
                                   const quaternion& q = j.orientation;
                                   return py::make_tuple(q.f0, q.f1, q.f2, q.f3);
                               })
        .def_property_readonly("body", &body,
                               "None, or {'primitives': [{'kind': 'sphere', 'radius'} | {'kind': 'bone', 'length', "
                               "'direction'}], 'bounds': None | (min, max)}")
        .def("__repr__", [](const qmf::PackedJoint& j) { return "<qmf.Joint " + j.name + ">"; });

    py::class_<qmf::PackedSkeleton>(m, "Skeleton")
        .def_readonly("name", &qmf::PackedSkeleton::name)
        .def_readonly("completed", &qmf::PackedSkeleton::completed)
        .def_readonly("completed_name", &qmf::PackedSkeleton::completedName)
        .def_readonly("joints", &qmf::PackedSkeleton::joints)
        .def("__repr__", [](const qmf::PackedSkeleton& s) {
            return "<qmf.Skeleton " + s.name + ", " + std::to_string(s.joints.size()) + " joints>";
        });

    py::class_<Figure>(m, "Figure", "A skeleton of the clip with its keys.")
        .def_readonly("index", &Figure::index)
        .def_property_readonly("skeleton", [](const Figure& f) { return qmf::readPackedSkeleton(fig_figure_get_skel(f.handle())); })
        .def_property_readonly("joint_count", &Figure::jointCount)
        .def_property_readonly("joint_names",
                               [](const Figure& f) {
                                   std::vector<std::string> names;
                                   for (const auto& j : qmf::readPackedSkeleton(fig_figure_get_skel(f.handle())).joints)
                                       names.push_back(j.name);
                                   return names;
                               })
        .def("channel", &channel, py::arg("axis"),
             "Root translation channel 'x', 'y' or 'z' (0-2): (values float32 (frame_count,), keyed bool (frame_count,)). "
             "Unkeyed frames read 0.")
        .def("set_channel", &setChannel, py::arg("axis"), py::arg("values"), py::arg("mask") = py::none(),
             "Keys the frames the mask marks (every frame without a mask) and clears the others.")
        .def("orientations", &orientations,
             "Orientation keys: (keys float32 (frame_count, joint_count, 4) in file order, keyed bool (frame_count, "
             "joint_count)). Unkeyed slots read 0.")
        .def("set_orientations", &setOrientations, py::arg("keys"), py::arg("mask") = py::none(),
             "Keys the slots the mask marks (every slot without a mask) and clears the others.")
        .def("__repr__", [](const Figure& f) { return "<qmf.Figure " + std::to_string(f.index) + ">"; });

    py::class_<qmfpy::Animation, AnimationPtr>(m, "Clip", "A Movantis animation.")
        .def_static("new", &qmfpy::Animation::create, py::arg("frame_rate"), py::arg("frame_count"),
                    "An empty clip; add skeletons with add_figure.")
        .def_property_readonly("frame_rate", &qmfpy::Animation::frameRate)
        .def_property_readonly("frame_count", &qmfpy::Animation::frameCount)
        .def_property_readonly("figures", &figures)
        .def_property_readonly("skeletons", &distinctSkeletons, "The figures' skeletons, each once, in figure order.")
        .def("save", [](const AnimationPtr& c, const py::object& path) { qmf::saveAnimation(c->handle(), pathArg(path)); },
             py::arg("path"), "Writes the clip atomically (never over a folder, device or pipe).")
        .def("add_figure", &addFigure, py::arg("name"), py::arg("joint_names"), py::arg("parents"),
             py::arg("offsets") = py::none(), py::arg("orientations") = py::none(), py::arg("roots") = py::none(),
             "Adds a new skeleton as a figure: parents are joint indexes (-1 for none); offsets (n, 3) in metres "
             "and orientations (n, 4) in file order default to 0 and no rotation; roots to the joints without "
             "parent.")
        .def(
            "rename",
            [](const AnimationPtr& c, const py::dict& mapping) {
                std::vector<std::pair<std::string, std::string>> pairs;
                for (auto item : mapping) {
                    if (!py::isinstance<py::str>(item.first) || !py::isinstance<py::str>(item.second))
                        throw py::type_error("rename: the mapping's names must be str");
                    pairs.emplace_back(item.first.cast<std::string>(), item.second.cast<std::string>());
                }
                qmfpy::renameJoints(*c, pairs, "rename");
            },
            py::arg("mapping"),
            "Renames figure 0's joints {clip name: new name}, with the checks of `qmf import --map`.")
        .def("trim", &qmfpy::trim, py::arg("first"), py::arg("last"),
             "Only frames first to last, which become 0 to last - first; a channel without a key on `first` "
             "gets one there holding the value in force, so every kept frame's pose is unchanged.")
        .def("retime", &qmfpy::retime, py::arg("frame_rate"), py::arg("resample") = false,
             "A new frame rate. By default every key stays on its frame; resample=True re-samples the keys over "
             "the same duration (translation linearly, orientations by slerp).")
        .def("__repr__", [](const qmfpy::Animation& c) {
            std::ostringstream text;
            text << "<qmf.Clip " << c.label() << ": " << c.frameCount() << " frames at " << c.frameRate() << " fps>";
            return text.str();
        });

    m.def("open", [](const py::object& path) { return qmfpy::Animation::open(pathArg(path)); }, py::arg("path"),
          "Opens a Movantis animation.");
    bindJobs(m);

    bindRotations(m);
}
