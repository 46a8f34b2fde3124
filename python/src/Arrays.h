// What the module's bindings share about their array and scalar arguments.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <array>
#include <cctype>
#include <optional>
#include <string>
#include <vector>

namespace qmfpy {

namespace py = pybind11;

template <typename T>
using CArray = py::array_t<T, py::array::c_style | py::array::forcecast>;

// An integer argument (Python int or NumPy integer), or nothing for others.
inline std::optional<long long> indexArg(const py::object& value) {
    if (py::isinstance<py::str>(value) || !PyIndex_Check(value.ptr())) return std::nullopt;
    const long long v = PyLong_AsLongLong(py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr())).ptr());
    if (v == -1 && PyErr_Occurred()) {
        PyErr_Clear();  // too large for any of our ranges
        return std::nullopt;
    }
    return v;
}

// 0..5 as Maya's rotateOrder attribute, or its name ("xyz" .. "zyx").
inline int rotateOrder(const py::object& order) {
    static const char* const kNames[] = {"xyz", "yzx", "zxy", "xzy", "yxz", "zyx"};
    if (py::isinstance<py::str>(order)) {
        std::string s = order.cast<std::string>();
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (int i = 0; i < 6; ++i)
            if (s == kNames[i]) return i;
    } else if (const auto v = indexArg(order); v && *v >= 0 && *v <= 5) {
        return static_cast<int>(*v);
    }
    throw py::value_error("rotate_order must be 0 to 5 or one of xyz, yzx, zxy, xzy, yxz, zyx");
}

inline std::array<double, 3> jointOrient(const CArray<double>& degrees) {
    if (degrees.size() != 3) throw py::value_error("joint_orient must hold 3 angles in degrees (jointOrient X, Y, Z)");
    const double* d = degrees.data();
    return {d[0], d[1], d[2]};
}

inline int axisArg(const py::object& axis) {
    if (py::isinstance<py::str>(axis)) {
        const std::string s = axis.cast<std::string>();
        if (s == "x" || s == "X") return 0;
        if (s == "y" || s == "Y") return 1;
        if (s == "z" || s == "Z") return 2;
    } else if (const auto v = indexArg(axis); v && *v >= 0 && *v <= 2) {
        return static_cast<int>(*v);
    }
    throw py::value_error("axis must be 0, 1, 2 or 'x', 'y', 'z'");
}

inline void needShape(const py::array& a, std::vector<py::ssize_t> shape, const char* what) {
    bool ok = a.ndim() == static_cast<py::ssize_t>(shape.size());
    for (std::size_t i = 0; ok && i < shape.size(); ++i) ok = a.shape(static_cast<py::ssize_t>(i)) == shape[i];
    if (ok) return;
    std::string want = "(", got = "(";
    for (std::size_t i = 0; i < shape.size(); ++i) want += (i ? ", " : "") + std::to_string(shape[i]);
    for (py::ssize_t i = 0; i < a.ndim(); ++i) got += (i ? ", " : "") + std::to_string(a.shape(i));
    throw py::value_error(std::string(what) + " must have shape " + want + ")" + ", not " + got + ")");
}

}  // namespace qmfpy

// The rotation and translation helpers: qmf.orientation_to_euler and the rest.
void bindRotations(pybind11::module_& m);
