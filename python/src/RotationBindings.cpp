// The translator's rotation and translation rules over NumPy arrays, and the
// helpers pipelines otherwise write by hand.
#include "Arrays.h"
#include "Rotations.h"

#include <pybind11/stl.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace py = pybind11;
using qmfpy::CArray;

namespace {

const uint8_t* maskData(const std::optional<CArray<bool>>& mask) {
    return mask ? reinterpret_cast<const uint8_t*>(mask->data()) : nullptr;
}

// The translator's own rules: rotations and translations as import and
// export convert them.
void bindTranslatorRules(py::module_& m) {
    using namespace qmfpy;
    m.def(
        "orientation_to_euler",
        [](const CArray<float>& keys, const CArray<double>& orient, const py::object& order,
           const std::optional<CArray<bool>>& mask) {
            if (keys.ndim() != 2 || keys.shape(1) != 4) throw py::value_error("keys must have shape (n, 4)");
            const py::ssize_t n = keys.shape(0);
            if (mask) needShape(*mask, {n}, "mask");
            const std::array<double, 3> o = jointOrient(orient);
            py::array_t<double> out({n, py::ssize_t{3}});
            qmfpy::orientationsToEuler(keys.data(), mask ? reinterpret_cast<const uint8_t*>(mask->data()) : nullptr,
                                       static_cast<std::size_t>(n), o.data(), rotateOrder(order), out.mutable_data());
            return out;
        },
        py::arg("keys"), py::arg("joint_orient") = std::array<double, 3>{0, 0, 0}, py::arg("rotate_order") = "xyz",
        py::arg("mask") = py::none(),
        "One joint's orientation keys (n, 4) to its rotate angles in degrees (n, 3), as an import onto a joint "
        "with that jointOrient (degrees) and rotateOrder computes them, closest solution from key to key. "
        "Unmasked frames give NaN and are skipped.");
    m.def(
        "euler_to_orientation",
        [](const CArray<double>& degrees, const CArray<double>& orient, const py::object& order) {
            if (degrees.ndim() != 2 || degrees.shape(1) != 3) throw py::value_error("degrees must have shape (n, 3)");
            const py::ssize_t n = degrees.shape(0);
            const std::array<double, 3> o = jointOrient(orient);
            py::array_t<float> out({n, py::ssize_t{4}});
            qmfpy::eulerToOrientations(degrees.data(), static_cast<std::size_t>(n), o.data(), rotateOrder(order),
                                       out.mutable_data());
            return out;
        },
        py::arg("degrees"), py::arg("joint_orient") = std::array<double, 3>{0, 0, 0}, py::arg("rotate_order") = "xyz",
        "Rotate angles in degrees (n, 3) to orientation keys (n, 4), as an export writes them.");
    m.def(
        "translation_to_scene",
        [](const CArray<float>& values, const py::object& axis) {
            py::array_t<double> out(values.size());
            qmfpy::translationToScene(values.data(), static_cast<std::size_t>(values.size()), axisArg(axis),
                                      out.mutable_data());
            return out;
        },
        py::arg("values"), py::arg("axis"),
        "A root translation channel of the file (metres) to the scene's translate values (centimetres).");
    m.def(
        "translation_to_file",
        [](const CArray<double>& scene) {
            if (scene.ndim() != 2 || scene.shape(1) != 3) throw py::value_error("translation must have shape (n, 3)");
            const py::ssize_t n = scene.shape(0);
            py::array_t<float> out({n, py::ssize_t{3}});
            qmfpy::translationToFile(scene.data(), static_cast<std::size_t>(n), out.mutable_data());
            return out;
        },
        py::arg("translation"), "Scene translate values (n, 3) in centimetres to the file's channels (n, 3).");
}

// The passes pipelines write by hand over whole channels.
void bindChannelHelpers(py::module_& m) {
    using namespace qmfpy;
    m.def(
        "continuous_orientations",
        [](const CArray<float>& keys, const std::optional<CArray<bool>>& mask) {
            // (n, 4) for one joint, or (n, joints, 4) as Figure.orientations gives them.
            const bool many = keys.ndim() == 3;
            if (!(keys.ndim() == 2 || many) || keys.shape(keys.ndim() - 1) != 4)
                throw py::value_error("keys must have shape (n, 4) or (n, joints, 4)");
            const py::ssize_t n = keys.shape(0), joints = many ? keys.shape(1) : 1;
            if (mask) needShape(*mask, many ? std::vector<py::ssize_t>{n, joints} : std::vector<py::ssize_t>{n}, "mask");
            py::array_t<float> out(std::vector<py::ssize_t>(keys.shape(), keys.shape() + keys.ndim()));
            std::vector<float> column(static_cast<std::size_t>(n) * 4);
            std::vector<uint8_t> keyed(static_cast<std::size_t>(n), 1);
            for (py::ssize_t j = 0; j < joints; ++j) {
                for (py::ssize_t f = 0; f < n; ++f) {
                    const std::size_t at = static_cast<std::size_t>(f * joints + j);
                    std::copy_n(keys.data() + 4 * at, 4, column.data() + 4 * f);
                    if (mask) keyed[static_cast<std::size_t>(f)] = maskData(mask)[at];
                }
                makeSignsContinuous(column.data(), keyed.data(), static_cast<std::size_t>(n));
                for (py::ssize_t f = 0; f < n; ++f)
                    std::copy_n(column.data() + 4 * f, 4, out.mutable_data() + 4 * static_cast<std::size_t>(f * joints + j));
            }
            return out;
        },
        py::arg("keys"), py::arg("mask") = py::none(),
        "The same keys, each negated where needed so that consecutive keyed quaternions of a joint lie on the "
        "same side (dot product >= 0): the same rotations, without the half-turn jumps a blend would take. "
        "Keys (n, 4) or (n, joints, 4); frames the mask leaves out are copied and skipped.");
    m.def(
        "euler_filter",
        [](const CArray<double>& degrees, const py::object& order, const std::optional<CArray<bool>>& mask) {
            if (degrees.ndim() != 2 || degrees.shape(1) != 3) throw py::value_error("degrees must have shape (n, 3)");
            const py::ssize_t n = degrees.shape(0);
            if (mask) needShape(*mask, {n}, "mask");
            const int o = rotateOrder(order);
            py::array_t<double> out({n, py::ssize_t{3}});
            std::copy_n(degrees.data(), static_cast<std::size_t>(3 * n), out.mutable_data());
            eulerFilter(out.mutable_data(), maskData(mask), static_cast<std::size_t>(n), o);
            return out;
        },
        py::arg("degrees"), py::arg("rotate_order") = "xyz", py::arg("mask") = py::none(),
        "An Euler filter over one joint's rotate angles in degrees (n, 3): each frame's angles become the "
        "equivalent closest to the previous frame's (whole turns on each axis, or the other solution of the same "
        "rotation), as an import chooses them. Frames the mask leaves out are copied and skipped.");
}

}  // namespace

void bindRotations(py::module_& m) {
    bindTranslatorRules(m);
    bindChannelHelpers(m);
}
