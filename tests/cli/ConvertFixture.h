// Clips made to order for the convert and joint-name tests: a skeleton of
// named joints with offsets, orientations and a few frames of keys.
#pragma once

#include "CliFixture.h"

#include <array>

namespace clitest {

struct ClipJoint {
    std::string name;
    int parent = -1;
    std::array<double, 3> offset{};
    std::array<double, 4> orientation{-1, 0, 0, 0};  // as stored: (-w, x, y, -z)
};

class ConvertCli : public Cli {
protected:
    // Packs a clip of these joints at `rate` fps with `frames` frames: root
    // translation and a turn about X on every joint, keyed every frame.
    std::string makeClip(const std::string& file, const std::vector<ClipJoint>& joints, double rate = 30,
                         int frames = 4) {
        json j;
        j["frameRate"] = rate;
        j["frameCount"] = frames;
        // The JSON form spells non-finite numbers as strings.
        auto num = [](double v) -> json {
            if (std::isnan(v)) return "nan";
            if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
            return v;
        };
        json js = json::array();
        for (const auto& cj : joints) {
            json off = json::array(), q = json::array();
            for (double v : cj.offset) off.push_back(num(v));
            for (double v : cj.orientation) q.push_back(num(v));
            js.push_back({{"name", cj.name}, {"parent", cj.parent}, {"root", cj.parent < 0},
                          {"offset", off}, {"orientation", q}, {"body", nullptr}});
        }
        j["skeletons"] = json::array({{{"name", "clip"}, {"completed", true}, {"completedName", "clip"}, {"joints", js}}});
        json fig = {{"skeleton", 0}, {"channels", json::object()}, {"orientations", json::array()}};
        for (const char* ch : {"1", "2", "3"}) {
            fig["channels"][ch] = json::array();
            for (int f = 0; f < frames; ++f) fig["channels"][ch].push_back({f, 0.01 * f});
        }
        for (std::size_t k = 0; k < joints.size(); ++k) {
            json keys = json::array();
            for (int f = 0; f < frames; ++f) {
                const double a = 0.1 * (f + 1);
                keys.push_back({f, -std::cos(a / 2), std::sin(a / 2), 0.0, 0.0});
            }
            fig["orientations"].push_back({{"joint", k}, {"keys", keys}});
        }
        j["figures"] = json::array({fig});
        spit(path(file + ".json"), j.dump());
        Result r = run({"pack", path(file + ".json"), path(file)});
        EXPECT_EQ(r.status, 0) << r.err;
        return path(file);
    }

    // A scene of joints: (name, parent name or "") in order.
    std::string makeRig(const std::string& file, const std::vector<std::pair<std::string, std::string>>& joints) {
        std::string t = "//Maya ASCII 2018 scene\ncurrentUnit -l centimeter -a degree -t ntsc;\n";
        for (const auto& [name, parent] : joints) {
            t += "createNode joint -n \"" + name + "\"";
            if (!parent.empty()) t += " -p \"" + parent + "\"";
            t += ";\n\tsetAttr \".t\" -type \"double3\" 1 0 0 ;\n";
        }
        spit(path(file), t);
        return path(file);
    }

    // Names of the joints of figure 0's skeleton.
    std::vector<std::string> jointNames(const std::string& clip) {
        std::vector<std::string> names;
        const json info = infoJson(clip);
        for (const auto& jj : info["skeletons"][0]["joints"]) names.push_back(jj["name"]);
        return names;
    }

    // Files in the test's folder whose names start with a dot and are not
    // the runner's own: leftovers of temporary copies.
    std::vector<std::string> leftovers() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir_)) {
            std::string n = e.path().filename().string();
            if (n != ".stdout" && n != ".stderr" && n[0] == '.') out.push_back(n);
        }
        return out;
    }
};

}  // namespace clitest
