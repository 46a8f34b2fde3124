// What the module's functions share, and the jobs bound in Jobs.cpp.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

// A path argument: a str or any os.PathLike. A NUL byte would cut the path
// short in the system's calls and name another file: refused as Python's
// own open() refuses it.
inline std::string pathArg(const pybind11::object& path) {
    std::string s = pybind11::module_::import("os").attr("fspath")(path).cast<std::string>();
    if (s.find('\0') != std::string::npos) throw pybind11::value_error("embedded null byte in path");
    return s;
}

// qmf.bake, qmf.retarget and qmf.match_joints.
void bindJobs(pybind11::module_& m);
