#include "qmfhost/MaWriter.h"

#include "fileio/SafeFile.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace qmfhost::ma {

std::string formatNumber(double v) {
    if (v == 0) return std::signbit(v) ? "-0" : "0";
    char buf[40];
    for (int precision : {15, 16, 17}) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, v);
        if (std::strtod(buf, nullptr) == v) break;
    }
    return buf;
}

namespace {

std::string fileName(const std::string& name) { return quote(name); }

// playbackOptions text with the four range flags set, other words kept.
std::string playbackScript(const std::string& old, const Playback& pb, double fps) {
    std::istringstream in(old);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    if (words.empty() || words[0] != "playbackOptions") words.insert(words.begin(), "playbackOptions");
    struct Flag {
        const char* shortName;
        const char* longName;
        const std::optional<double>* value;
    };
    const Flag flags[] = {{"-min", "-minTime", &pb.minTime},
                          {"-max", "-maxTime", &pb.maxTime},
                          {"-ast", "-animationStartTime", &pb.startTime},
                          {"-aet", "-animationEndTime", &pb.endTime}};
    for (const auto& f : flags) {
        if (!*f.value) continue;
        std::string frames = formatNumber(**f.value * fps);
        bool found = false;
        for (std::size_t i = 0; i + 1 < words.size(); ++i) {
            if (words[i] == f.shortName || words[i] == f.longName) {
                words[i + 1] = frames;
                found = true;
            }
        }
        if (!found) {
            words.push_back(f.shortName);
            words.push_back(frames);
        }
    }
    std::string out;
    for (const auto& w : words) out += w + " ";
    return out;
}

}  // namespace

std::string writeScene(const Scene& scene, const Edits& edits) {
    const double fps = scene.units.framesPerSecond;
    const double angle = scene.units.angleToRadians;
    const double linear = scene.units.linearToCm;

    // New node blocks go after the last node block, before the statements
    // that select shared nodes and connect things.
    std::size_t insertAt = scene.chunks.size();
    for (std::size_t i = scene.chunks.size(); i-- > 0;) {
        const Chunk& c = scene.chunks[i];
        if (c.kind == Chunk::Kind::Statement && c.command() == "createNode") {
            insertAt = i + 1;
            for (std::size_t j = i + 1; j < scene.chunks.size(); ++j) {
                const Chunk& d = scene.chunks[j];
                if (d.kind == Chunk::Kind::Statement && d.topLevel) break;
                if (d.kind == Chunk::Kind::Statement) insertAt = j + 1;
            }
            break;
        }
    }
    // Connections and lock changes go after the last statement.
    std::size_t appendAt = 0;
    for (std::size_t i = 0; i < scene.chunks.size(); ++i)
        if (scene.chunks[i].kind == Chunk::Kind::Statement) appendAt = i + 1;
    if (insertAt > appendAt) insertAt = appendAt;

    std::set<std::string> taken;
    for (std::size_t i = 0; i < scene.nodes.size(); ++i)
        if (!edits.deletedNodes.count(static_cast<int>(i))) taken.insert(scene.nodes[i].name);

    std::string nodes, connections;
    std::vector<std::string> curveNames;
    for (const auto& nc : edits.newCurves) {
        std::string name = nc.name.empty() ? nc.type + "1" : nc.name;
        for (int i = 1; taken.count(name); ++i) name = nc.name + "_" + std::to_string(i);
        taken.insert(name);
        const Curve& cv = nc.curve;
        double factor = cv.kind == 'A' ? angle : cv.kind == 'L' ? linear : cv.kind == 'T' ? 1.0 / fps : 1.0;
        nodes += "createNode " + nc.type + " -n " + fileName(name) + ";\n";
        nodes += "\tsetAttr \".tan\" " + std::to_string(tangentToFileCode(cv.tangentType)) + ";\n";
        nodes += std::string("\tsetAttr \".wgt\" ") + (cv.weighted ? "yes" : "no") + ";\n";
        if (!cv.keys.empty()) {
            std::string n = std::to_string(cv.keys.size());
            std::string range = "[0:" + std::to_string(cv.keys.size() - 1) + "]";
            std::string ktv = "\tsetAttr -s " + n + " \".ktv" + range + "\" ";
            std::string kit = "\tsetAttr -s " + n + " \".kit" + range + "\" ";
            std::string kot = "\tsetAttr -s " + n + " \".kot" + range + "\" ";
            for (const auto& k : cv.keys) {
                ktv += " " + formatNumber(k.time * fps) + " " + formatNumber(k.value / factor);
                kit += " " + std::to_string(tangentToFileCode(k.inType));
                kot += " " + std::to_string(tangentToFileCode(k.outType));
            }
            nodes += ktv + ";\n" + kit + ";\n" + kot + ";\n";
        }
        if (cv.preInfinity) nodes += "\tsetAttr \".pre\" " + std::to_string(cv.preInfinity) + ";\n";
        if (cv.postInfinity) nodes += "\tsetAttr \".pst\" " + std::to_string(cv.postInfinity) + ";\n";
        for (const auto& [node, attr] : nc.destinations)
            connections += "connectAttr " + fileName(name + ".o") + " " + fileName(node + "." + attr) + ";\n";
    }
    std::string playbackLine;
    int playbackChunk = -1;
    if (edits.playback) {
        if (scene.playbackChunk >= 0) {
            playbackChunk = scene.playbackChunk;
            const Chunk& c = scene.chunks[static_cast<std::size_t>(playbackChunk)];
            std::string old;
            std::string indent = c.text.substr(0, c.text.find_first_not_of(" \t"));
            for (std::size_t i = 1; i < c.args.size(); ++i)
                if (c.args[i].quoted && i > 1) old = c.args[i].text;
            // The attribute path is the first quoted argument; the script the last.
            std::string attrPath = ".b";
            for (const auto& a : c.args)
                if (a.quoted) {
                    attrPath = a.text;
                    break;
                }
            playbackLine = indent + "setAttr " + quote(attrPath) + " -type \"string\" " +
                           quote(playbackScript(old, *edits.playback, fps)) + ";\n";
        } else if (scene.configNode >= 0) {
            connections += "setAttr \"sceneConfigurationScriptNode.b\" -type \"string\" " +
                           quote(playbackScript("", *edits.playback, fps)) + ";\n";
        } else {
            nodes += "createNode script -n \"sceneConfigurationScriptNode\";\n";
            nodes += "\tsetAttr \".b\" -type \"string\" " + quote(playbackScript("", *edits.playback, fps)) + ";\n";
            nodes += "\tsetAttr \".st\" 6;\n";
        }
    }
    for (const auto& lc : edits.lockChanges)
        connections += std::string("setAttr -l ") + (lc.locked ? "on" : "off") + " " +
                       fileName(lc.nodePath + "." + lc.attr) + ";\n";

    std::string out;
    out.reserve(scene.chunks.empty() ? 0 : scene.chunks.size() * 64 + nodes.size() + connections.size());
    auto emitAtLineStart = [&out](const std::string& text) {
        if (text.empty()) return;
        if (!out.empty() && out.back() != '\n') out += '\n';
        out += text;
    };
    for (std::size_t i = 0; i <= scene.chunks.size(); ++i) {
        if (i == insertAt) emitAtLineStart(nodes);
        if (i == appendAt) emitAtLineStart(connections);
        if (i == scene.chunks.size()) break;
        const Chunk& c = scene.chunks[i];
        if (c.kind == Chunk::Kind::Statement) {
            int node = i < scene.chunkNode.size() ? scene.chunkNode[i] : -1;
            if (node >= 0 && edits.deletedNodes.count(node)) continue;
            int conn = i < scene.chunkConnection.size() ? scene.chunkConnection[i] : -1;
            if (conn >= 0) {
                const Connection& k = scene.connections[static_cast<std::size_t>(conn)];
                if (edits.removedConnections.count(conn) || edits.deletedNodes.count(k.src.node) ||
                    edits.deletedNodes.count(k.dst.node))
                    continue;
            }
            if (static_cast<int>(i) == playbackChunk) {
                out += playbackLine;
                continue;
            }
        }
        out += c.text;
    }
    return out;
}

void writeFileAtomically(const std::string& path, const std::string& bytes) {
    fileio::writeFileAtomically(path, bytes);
}

}  // namespace qmfhost::ma
