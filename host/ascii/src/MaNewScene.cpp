#include "qmfhost/MaNewScene.h"

#include "qmfhost/MaParser.h"
#include "qmfhost/MaWriter.h"

#include <cmath>
#include <stdexcept>
#include <unordered_set>

namespace qmfhost::ma {

namespace {

constexpr double kDegreesPerRadian = 180.0 / 3.14159265358979323846;

std::string triple(const Vec3& v, double scale) {
    std::string out;
    for (double c : v) {
        if (!std::isfinite(c)) throw std::invalid_argument("a joint value is not a finite number");
        out += " " + formatNumber(c * scale);
    }
    return out;
}

}  // namespace

std::string writeJointScene(const std::vector<NewJoint>& joints, const std::string& timeUnit) {
    std::string out = "//Maya ASCII 2018ff07 scene\n"
                      "//Codeset: UTF-8\n"
                      "requires maya \"2018ff07\";\n"
                      "currentUnit -l centimeter -a degree -t " + timeUnit + ";\n"
                      "fileInfo \"application\" \"maya\";\n"
                      "fileInfo \"product\" \"qmf\";\n";
    std::string connections;
    std::unordered_set<std::string> names;
    for (std::size_t i = 0; i < joints.size(); ++i) {
        const NewJoint& j = joints[i];
        if (j.name.empty() || !names.insert(j.name).second)
            throw std::invalid_argument("joint name '" + j.name + "' is empty or repeated");
        if (j.parent >= static_cast<int>(i) || j.parent < -1)
            throw std::invalid_argument("joint " + j.name + " has a parent that is not an earlier joint");
        out += "createNode joint -n " + quote(j.name);
        if (j.parent >= 0) {
            const std::string& parent = joints[static_cast<std::size_t>(j.parent)].name;
            out += " -p " + quote(parent);
            connections += "connectAttr " + quote(parent + ".s") + " " + quote(j.name + ".is") + ";\n";
        }
        out += ";\n";
        out += "\tsetAttr \".t\" -type \"double3\"" + triple(j.translate, 1.0) + " ;\n";
        out += "\tsetAttr \".jo\" -type \"double3\"" + triple(j.jointOrient, kDegreesPerRadian) + " ;\n";
    }
    return out + connections + "// End of scene\n";
}

std::string timeUnitFor(double fps) {
    struct Named {
        const char* name;
        double fps;
    };
    static const Named kNamed[] = {{"game", 15}, {"film", 24}, {"pal", 25}, {"ntsc", 30},
                                   {"show", 48}, {"palf", 50}, {"ntscf", 60}};
    // Rates Maya offers as "<n>fps" units.
    static const int kFps[] = {2,   3,   4,   5,   6,   8,   10,  12,  16,  20,   40,   75,   80,   100,  120, 125,
                               150, 200, 240, 250, 300, 375, 400, 500, 600, 750, 1200, 1500, 2000, 3000, 6000};
    for (const auto& n : kNamed)
        if (fps == n.fps) return n.name;
    for (int n : kFps)
        if (fps == n) return std::to_string(n) + "fps";
    return std::string();
}

}  // namespace qmfhost::ma
