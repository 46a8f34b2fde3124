#include "Pictures.h"

#include "formats/Units.h"
#include "formats/Formats.h"
#include "formats/Options.h"
#include "formats/UpAxis.h"
#include "svg/Document.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <iostream>
#include <unordered_map>

namespace qmf {

std::vector<Option> pictureOptions() {
    // -o, and what reading any format the pictures show takes (the table's).
    std::vector<Option> options = {{"-o", true}};
    unsigned reading = 0;
    for (const formats::FormatRow& r : formats::formatTable())
        if (r.view) reading |= r.readOptions;
    for (const formats::OptionFlag& f : formats::kOptionFlags)
        if (reading & f.bit) options.push_back({f.flag, f.takesValue});
    return options;
}

motion::LoadOptions readingOptions(const std::string& command, const Args& a) {
    motion::LoadOptions options;
    options.plugin = a.value("--plugin");
    if (a.has("--unit")) {
        // The name too: what is said of the skeleton's size names the unit read.
        const formats::LengthUnit& u = formats::lengthUnit(a.value("--unit"));
        options.unitToCm = u.cm;
        options.unitName = u.name;
    }
    options.frames = a.value("--frames");
    if (a.has("--step")) options.step = stepOption(command, a.value("--step"));
    options.take = a.value("--take");
    if (a.has("--rate")) options.rate = rateOption(command, a.value("--rate"));
    return options;
}

char upOption(const std::string& command, const std::string& text) {
    if (text == "y" || text == "Y") return 'y';
    if (text == "z" || text == "Z") return 'z';
    if (text == "auto" && command != "retarget") return 'a';
    throw CommandError(command + ": --up takes " + (command != "retarget" ? "auto, " : "") + "y or z, not '" + text + "'");
}

void settleUp(motion::Motion& m, char up, std::ostream& warn) {
    if (up == 'y' || up == 'z') {
        m.upAxis = up;
        return;
    }
    // A scene says its own up; anything else is looked at, unless asked.
    if (m.source == motion::Source::MayaAscii && up != 'a') return;
    // As the first frame held shows the figure.
    std::vector<std::string> names;
    std::vector<int> parents;
    for (const motion::Joint& j : m.joints) {
        names.push_back(j.name);
        parents.push_back(j.parent);
    }
    const formats::UpGuess g = formats::guessUp(names, parents, motion::worldPositions(m, 0));
    m.upAxis = g.axis;
    if (up == 'a' || g.axis != 'y') warn << "qmf: " << m.path << ": " << g.how << "; shown so (--up y|z chooses)\n";
}

uint32_t frameOption(const std::string& command, const std::string& text, const std::string& flag) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(begin, &end, 10);
    if (text.empty() || text[0] < '0' || text[0] > '9' || end != begin + text.size() || errno == ERANGE ||
        v > UINT32_MAX)
        throw CommandError(command + ": " + flag + " needs a frame number from 0, not '" + text + "'");
    return static_cast<uint32_t>(v);
}

motion::Motion loadForPicture(const std::string& command, const Args& a, const std::string& in,
                              std::optional<uint32_t> only) {
    const motion::LoadOptions options = readingOptions(command, a);
    const char up = a.has("--up") ? upOption(command, a.value("--up")) : 0;
    motion::Motion m;
    try {
        m = only ? motion::loadFrame(in, options, *only, std::cerr) : motion::loadMotion(in, options, std::cerr);
    } catch (const motion::MotionError& e) {
        throw CommandError(command + ": " + e.what());
    }
    // Charts have no up; a drawing does.
    if (command != "plot") settleUp(m, up, std::cerr);
    return m;
}

svg::Pose poseAt(const motion::Motion& m, uint32_t frame) {
    svg::Pose pose;
    const auto world = motion::worldPositions(m, frame);
    pose.upAxis = m.upAxis;
    pose.units = "cm";
    pose.names.reserve(m.joints.size());
    pose.parents.reserve(m.joints.size());
    pose.positions.reserve(m.joints.size());
    for (std::size_t j = 0; j < m.joints.size(); ++j) {
        pose.names.push_back(m.joints[j].name);
        pose.parents.push_back(m.joints[j].parent);
        pose.positions.push_back({world[j][0], world[j][1], world[j][2]});
    }
    pose.title = baseName(m.path);
    if (m.selected > 1)
        pose.title += ", frame " + std::to_string(m.shown + frame) + " (frames 0 to " + std::to_string(m.selected - 1) + ")";
    return pose;
}

svg::ChartSet chartsOf(const std::string& command, const motion::Motion& m, const std::vector<std::string>& names) {
    const std::size_t n = m.joints.size();
    if (m.rotateDegrees.size() < std::size_t(m.frames) * n)
        throw CommandError(command + ": " + m.path + " has no rotate channels for every frame");
    std::vector<std::size_t> chosen;
    if (names.empty()) {
        std::vector<char> hasChild(n);
        for (const auto& j : m.joints)
            if (j.parent >= 0) hasChild[static_cast<std::size_t>(j.parent)] = 1;
        for (std::size_t j = 0; j < n; ++j)
            if (hasChild[j] || static_cast<long>(j) == m.translatedRoot) chosen.push_back(j);
    } else {
        std::unordered_map<std::string, std::vector<std::size_t>> byName;
        for (std::size_t j = 0; j < n; ++j) byName[m.joints[j].name].push_back(j);
        for (const std::string& name : names) {
            auto it = byName.find(name);
            if (it == byName.end()) throw CommandError(command + ": " + m.path + " has no joint named '" + name + "'");
            chosen.insert(chosen.end(), it->second.begin(), it->second.end());
        }
    }
    svg::ChartSet set;
    set.title = baseName(m.path) + ": " + std::to_string(m.frames) + " frame" + (m.frames == 1 ? "" : "s");
    if (m.frameRate > 0) set.title += " at " + svg::num(m.frameRate, 3) + " fps";
    if (m.firstFrame != 0) set.title += "; frame 0 is the scene's frame " + svg::num(m.firstFrame, 3);
    set.firstFrame = 0;
    static const char* const kRotate[] = {"rotateX", "rotateY", "rotateZ"};
    static const char* const kTranslate[] = {"translateX", "translateY", "translateZ"};
    for (std::size_t j : chosen) {
        svg::Chart rotation{m.joints[j].name, "degrees", {}};
        for (int k = 0; k < 3; ++k) {
            svg::Series s{kRotate[k], std::vector<double>(m.frames)};
            for (uint32_t f = 0; f < m.frames; ++f) s.values[f] = m.rotateDegrees[m.index(f, j)][k];
            rotation.series.push_back(std::move(s));
        }
        set.charts.push_back(std::move(rotation));
        if (static_cast<long>(j) != m.translatedRoot || m.translateCm.size() < m.frames) continue;
        svg::Chart translation{m.joints[j].name + " translate", "cm", {}};
        for (int k = 0; k < 3; ++k) {
            svg::Series s{kTranslate[k], std::vector<double>(m.frames)};
            for (uint32_t f = 0; f < m.frames; ++f) s.values[f] = m.translateCm[f][k];
            translation.series.push_back(std::move(s));
        }
        set.charts.push_back(std::move(translation));
    }
    return set;
}

std::string baseName(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void writePicture(const fileio::Output& target, const std::string& text) {
    try {
        fileio::TempFile tmp(target);
        tmp.write(text);
        tmp.commit();
    } catch (const fileio::Error& e) {
        throw CommandError(e.what());
    }
}

}  // namespace qmf
