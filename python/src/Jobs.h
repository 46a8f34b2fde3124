// What the module's functions share, and the jobs bound in Jobs.cpp.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

// A path argument: a str or any os.PathLike.
inline std::string pathArg(const pybind11::object& path) {
    return pybind11::module_::import("os").attr("fspath")(path).cast<std::string>();
}

// qmf.bake, qmf.retarget and qmf.match_joints.
void bindJobs(pybind11::module_& m);
