#include "ViewPage.h"
#include "formats/Units.h"

#include "ViewerAssets.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>

namespace qmf {

namespace {

using Json = nlohmann::json;

// Floats keep every bit (the page narrows them back with Math.fround);
// anything not finite is null, which the page reads as 0.
Json number(double v) {
    if (!std::isfinite(v)) return nullptr;
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.9g", v);
    return Json::parse(buf);
}

std::string baseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string scriptSafe(const std::string& json) {
    std::string out;
    out.reserve(json.size());
    for (std::size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        // These bytes appear in JSON only inside strings, where \u escapes are equivalent.
        if (c == '<') out += "\\u003c";
        else if (c == '>') out += "\\u003e";
        else if (c == '&') out += "\\u0026";
        else if (c == '\xE2' && i + 2 < json.size() && json[i + 1] == '\x80' && (json[i + 2] == '\xA8' || json[i + 2] == '\xA9')) {
            out += json[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
            i += 2;
        } else out += c;
    }
    return out;
}

template <typename Rows>
void appendNumbers(std::string& text, const char* name, const Rows& rows, const char* format) {
    text += ",\"";
    text += name;
    text += "\":[";
    char buf[40];
    bool first = true;
    for (const auto& row : rows)
        for (const auto v : row) {
            if (!first) text += ',';
            first = false;
            const double x = static_cast<double>(v);
            if (std::isfinite(x)) {
                std::snprintf(buf, sizeof buf, format, x);
                text += buf;
            } else {
                text += "null";
            }
        }
    text += ']';
}

void replaceOnce(std::string& text, const std::string& marker, const std::string& with) {
    const std::size_t at = text.find(marker);
    if (at != std::string::npos) text.replace(at, marker.size(), with);
}

}  // namespace

std::string viewData(const motion::Motion& m) {
    Json d;
    d["source"] = motion::sourceName(m.source);
    d["file"] = baseName(m.path);
    d["frameRate"] = m.frameRate;
    // A rate a capture spells with a few digits (120.0005) shown as the rate
    // Maya names, when it is that one.
    if (m.frameRate > 0) {
        bool exact = false;
        const formats::TimeUnit& unit = formats::nearestTimeUnit(m.frameRate, exact);
        if (exact) d["namedRate"] = unit.fps;
    }
    d["fileFrames"] = m.fileFrames;
    d["firstFrame"] = m.firstFrame;
    d["frames"] = m.frames;
    d["skeletons"] = m.skeletons;
    d["figures"] = m.figures;
    d["upAxis"] = std::string(1, m.upAxis);
    d["translatedRoot"] = m.translatedRoot;
    d["size"] = motion::skeletonSize(m);
    Json joints = Json::array();
    for (const motion::Joint& j : m.joints) {
        Json volume = Json::array();
        for (const motion::Primitive& p : j.volume)
            volume.push_back({{"kind", p.kind == motion::Primitive::Bone ? "bone" : "sphere"},
                              {"radius", number(p.radius)},
                              {"length", number(p.length)},
                              {"direction", {number(p.direction[0]), number(p.direction[1]), number(p.direction[2])}}});
        joints.push_back({{"name", j.name},
                          {"parent", j.parent},
                          {"offset", {number(j.offset[0]), number(j.offset[1]), number(j.offset[2])}},
                          {"volume", volume}});
    }
    d["joints"] = joints;
    // The frames go in as text straight away: a tree of millions of numbers
    // would hold several times the memory of the page itself.
    std::string text = scriptSafe(d.dump(-1, ' ', false, Json::error_handler_t::replace));
    text.pop_back();  // the closing brace
    appendNumbers(text, "rotations", m.rotations, "%.9g");
    appendNumbers(text, "rootTranslation", m.rootTranslation, "%.9g");
    if (!m.scenePositions.empty()) appendNumbers(text, "positions", m.scenePositions, "%.9g");
    // The charts need no more than a thousandth of a degree or centimetre.
    appendNumbers(text, "rotateDegrees", m.rotateDegrees, "%.3f");
    appendNumbers(text, "translateCm", m.translateCm, "%.3f");
    text += '}';
    return text;
}

std::string viewPage(const motion::Motion& m, const motion::Motion* second) {
    std::string page(reinterpret_cast<const char*>(kViewerHtml), kViewerHtmlSize);
    // From the last marker back, so text put in never holds a marker still to be found.
    // The page's script: the translator's rules, the charts, the camera, then the viewer.
    const auto text = [](const unsigned char* bytes, std::size_t size) {
        return std::string(reinterpret_cast<const char*>(bytes), size);
    };
    replaceOnce(page, "/*QMF_SCRIPT*/",
                text(kViewerModelJs, kViewerModelJsSize) + "\n" + text(kViewerChartJs, kViewerChartJsSize) + "\n" +
                    text(kViewerCameraJs, kViewerCameraJsSize) + "\n" + text(kViewerJs, kViewerJsSize));
    replaceOnce(page, "/*QMF_DATA2*/", second ? viewData(*second) : std::string());
    replaceOnce(page, "/*QMF_DATA*/", viewData(m));
    replaceOnce(page, "/*QMF_STYLE*/", std::string(reinterpret_cast<const char*>(kViewerCss), kViewerCssSize));
    return page;
}

}  // namespace qmf
