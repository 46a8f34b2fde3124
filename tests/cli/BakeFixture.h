// What the bake tests share: generated captures and a rig for them, a
// clip's keys as info --json gives them, and view's printed positions.
#pragma once

#include "CliFixture.h"

#include <maya/MEulerRotation.h>
#include <maya/MQuaternion.h>
#include <maya/MVector.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace clitest {

inline constexpr int kFrames = 24;

// Keys of a clip as `qmf info --json` gives them, by joint name.
struct ClipKeys {
    double rate = 0;
    int frames = 0;
    std::map<std::string, std::vector<std::array<float, 4>>> orientations;
    std::array<std::vector<float>, 3> root;
};

// Two floats within n units in the last place (of the larger). A component
// that should be 0 comes out of double arithmetic as a residue of 1e-16 or
// so, either sign: that is equal too.
inline bool ulpsApart(float a, float b, int n) {
    if (a == b) return true;
    const float scale = std::max(std::fabs(a), std::fabs(b));
    const float ulp = std::nextafter(scale, INFINITY) - scale;
    return std::fabs(a - b) <= n * ulp || std::fabs(a - b) <= 1e-15f;
}

// A capture of a hip and a chain of six joints, with angles past +-180
// degrees and frames where the middle angle of an order is +-90 (gimbal
// lock), keyed on every frame at 30 fps.
inline std::string chainCapture() {
    std::string t = "HIERARCHY\nROOT hip\n{\n OFFSET 0 90 0\n CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n";
    for (int j = 1; j <= 6; ++j)
        t += " JOINT j" + std::to_string(j) + "\n {\n OFFSET 0 " + std::to_string(5 + j) + " 1\n CHANNELS 3 Zrotation Xrotation Yrotation\n";
    t += " End Site\n {\n OFFSET 0 4 0\n }\n";
    for (int j = 1; j <= 6; ++j) t += " }\n";
    t += "}\nMOTION\nFrames: " + std::to_string(kFrames) + "\nFrame Time: 0.0333333333333333\n";
    for (int f = 0; f < kFrames; ++f) {
        char line[128];
        std::snprintf(line, sizeof line, "%g %g %g %g %g %g", 0.5 * f, 90 + std::sin(f) * 3, -2.0 * f, 17.0 * f - 200,
                      f % 6 == 0 ? 90.0 : 11.0 * f, 250 - 13.0 * f);
        t += line;
        for (int j = 1; j <= 6; ++j) {
            const double lock = f % 5 == j % 5 ? (j % 2 ? 90.0 : -90.0) : 7.0 * f * j - 150;
            std::snprintf(line, sizeof line, " %g %g %g", 23.0 * j - 9.0 * f, lock, 190.0 - 31.0 * j + 5.0 * f);
            t += line;
        }
        t += "\n";
    }
    return t;
}

// The same hierarchy moving smoothly, so that keying its angles as curves
// (each the solution closest to the frame before) keeps them as they are.
inline std::string smoothCapture() {
    std::string t = chainCapture();
    t = t.substr(0, t.find("MOTION"));
    t += "MOTION\nFrames: " + std::to_string(kFrames) + "\nFrame Time: 0.0333333333333333\n";
    for (int f = 0; f < kFrames; ++f) {
        char line[128];
        std::snprintf(line, sizeof line, "%.17g %.17g %.17g", 0.5 * f, 90 + std::sin(f) * 3, -2.0 * f);
        t += line;
        for (int j = 0; j <= 6; ++j) {
            std::snprintf(line, sizeof line, " %.17g %.17g %.17g", 30 * std::sin(0.2 * f + j), 40 * std::cos(0.1 * f * j),
                          100 + 20 * std::sin(0.3 * f - j));
            t += line;
        }
        t += "\n";
    }
    return t;
}

// A rig for that chain whose joints take all six rotate orders, most with
// joint orients of their own, in a 30 fps scene whose playback starts at 0.
inline std::string chainRig() {
    std::string t = "//Maya ASCII 2018 scene\nrequires maya \"2018\";\ncurrentUnit -l centimeter -a degree -t ntsc;\n";
    t += "createNode joint -n \"hip\";\n\tsetAttr \".t\" -type \"double3\" 0 90 0;\n\tsetAttr \".ro\" 4;\n"
         "\tsetAttr \".jo\" -type \"double3\" 0 0 -12;\n";
    std::string names[7] = {"hip"};
    for (int j = 1; j <= 6; ++j) {
        names[j] = "j" + std::to_string(j);
        t += "createNode joint -n \"" + names[j] + "\" -p \"" + names[j - 1] + "\";\n";
        t += "\tsetAttr \".t\" -type \"double3\" 0 " + std::to_string(5 + j) + " 1;\n";
        t += "\tsetAttr \".ro\" " + std::to_string(j % 6) + ";\n";
        if (j != 3) t += "\tsetAttr \".jo\" -type \"double3\" " + std::to_string(10 * j) + " -35 " + std::to_string(170 - 20 * j) + ";\n";
    }
    t += "createNode joint -n \"j6_end\" -p \"j6\";\n\tsetAttr \".t\" -type \"double3\" 0 4 0;\n";
    t += "createNode script -n \"sceneConfigurationScriptNode\";\n\tsetAttr \".b\" -type \"string\" "
         "\"playbackOptions -min 0 -max 10 -ast 0 -aet 10 \";\n\tsetAttr \".st\" 6;\n";
    return t;
}

class Bake : public Cli {
protected:
    ClipKeys keysOf(const std::string& clip) {
        const json j = infoJson(clip);
        ClipKeys k;
        k.rate = j["frameRate"].get<double>();
        k.frames = j["frameCount"].get<int>();
        const json& joints = j["skeletons"][0]["joints"];
        const json& fig = j["figures"][0];
        for (const json& o : fig["orientations"]) {
            auto& keys = k.orientations[joints[o["joint"].get<std::size_t>()]["name"].get<std::string>()];
            for (const json& key : o["keys"]) {
                EXPECT_EQ(key[0].get<int>(), static_cast<int>(keys.size())) << "a key on every frame";
                keys.push_back({key[1].get<float>(), key[2].get<float>(), key[3].get<float>(), key[4].get<float>()});
            }
        }
        for (int c = 0; c < 3; ++c)
            for (const json& key : fig["channels"][std::to_string(c + 1)]) k.root[c].push_back(key[1].get<float>());
        return k;
    }

    // Every key of the original found again in the baked clip: rotations
    // equal up to sign within two float ulps a component, root translation
    // within two ulps, same rate and frame count.
    void expectSameKeys(const ClipKeys& original, const ClipKeys& baked) {
        EXPECT_EQ(baked.rate, original.rate);
        EXPECT_EQ(baked.frames, original.frames);
        for (const auto& [name, keys] : original.orientations) {
            SCOPED_TRACE(name);
            auto it = baked.orientations.find(name);
            ASSERT_NE(it, baked.orientations.end());
            ASSERT_EQ(it->second.size(), keys.size());
            for (std::size_t f = 0; f < keys.size(); ++f) {
                const auto& a = keys[f];
                const auto& b = it->second[f];
                const float sign = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3] < 0 ? -1.0f : 1.0f;
                for (int c = 0; c < 4; ++c)
                    EXPECT_TRUE(ulpsApart(a[c], sign * b[c], 2))
                        << "frame " << f << " component " << c << ": " << a[c] << " vs " << sign * b[c];
            }
        }
        for (int c = 0; c < 3; ++c) {
            ASSERT_EQ(baked.root[c].size(), original.root[c].size());
            for (std::size_t f = 0; f < original.root[c].size(); ++f)
                EXPECT_TRUE(ulpsApart(original.root[c][f], baked.root[c][f], 2))
                    << "root channel " << c + 1 << " frame " << f << ": " << original.root[c][f] << " vs " << baked.root[c][f];
        }
    }
};

// The positions view prints for one frame, without its header line.
inline std::string positionsBody(const std::string& out) { return out.substr(out.find('\n') + 1); }

// The world positions `qmf view --positions` prints at one frame, by joint name.
inline std::map<std::string, std::array<double, 3>> positionsByName(const std::string& out) {
    std::map<std::string, std::array<double, 3>> byName;
    std::istringstream in(positionsBody(out));
    std::size_t index;
    std::array<double, 3> p;
    std::string name;
    while (in >> index >> p[0] >> p[1] >> p[2] >> name) byName[name] = p;
    return byName;
}

}  // namespace clitest
