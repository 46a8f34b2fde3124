#include "qmfhost/MaWriter.h"

#include "MaOut.h"

#include "fileio/SafeFile.h"
#include "qmfhost/MaParser.h"
#include "qmfhost/Scene.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <string_view>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace qmfhost::ma {

namespace {

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
        std::string frames = formatFrames(**f.value, fps);
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

void writeScene(const Scene& scene, const Edits& edits, const TextOut& sink, const Limits& limits) {
    const double fps = scene.units.framesPerSecond;

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

    // Names and connections first (small); the curves' keys are written
    // straight out when their place comes.
    std::string connections, extraNodes;
    std::vector<std::string> curveNames;
    for (const auto& nc : edits.newCurves) {
        std::string name = nc.name.empty() ? nc.type + "1" : nc.name;
        for (int i = 1; taken.count(name); ++i) name = nc.name + "_" + std::to_string(i);
        taken.insert(name);
        curveNames.push_back(name);
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
            std::string indent(c.text.substr(0, c.text.find_first_not_of(" \t")));
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
            extraNodes += "createNode script -n \"sceneConfigurationScriptNode\";\n";
            extraNodes += "\tsetAttr \".b\" -type \"string\" " + quote(playbackScript("", *edits.playback, fps)) + ";\n";
            extraNodes += "\tsetAttr \".st\" 6;\n";
        }
    }
    for (const auto& lc : edits.lockChanges)
        connections += std::string("setAttr -l ") + (lc.locked ? "on" : "off") + " " +
                       fileName(lc.nodePath + "." + lc.attr) + ";\n";

    Out out(sink);
    auto startLine = [&out] {
        if (!out.atLineStart()) out.put('\n');
    };
    for (std::size_t i = 0; i <= scene.chunks.size(); ++i) {
        if (i == insertAt && (!edits.newCurves.empty() || !extraNodes.empty())) {
            startLine();
            for (std::size_t c = 0; c < edits.newCurves.size(); ++c)
                writeCurveNode(out, edits.newCurves[c], curveNames[c], scene.units, limits);
            out.put(extraNodes);
        }
        if (i == appendAt && !connections.empty()) {
            startLine();
            out.put(connections);
        }
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
                out.put(playbackLine);
                continue;
            }
        }
        out.put(c.text);
    }
    out.flush();
}

std::string writeScene(const Scene& scene, const Edits& edits) {
    std::string text;
    writeScene(scene, edits, [&text](const char* data, std::size_t size) { text.append(data, size); });
    return text;
}

void writeFileAtomically(const std::string& path, const std::string& bytes) {
    fileio::writeFileAtomically(path, bytes);
}

void writeSceneAtomically(const std::string& path, const Scene& scene, const Edits& edits, const Limits& limits) {
    fileio::TempFile tmp(fileio::checkOutput(path));
    // Never a file the reader would refuse: stopped (and the temporary file
    // removed) at the first byte past its limit.
    const std::size_t limit = limits.maxFileBytes;
    std::size_t total = 0;
    writeScene(scene, edits, [&](const char* data, std::size_t size) {
        total += size;
        if (total > limit)
            throw std::runtime_error(path + ": the scene would be larger than " + std::to_string(limit >> 20) +
                                     " MiB, the most a Maya ASCII file qmf reads may be; nothing was written");
        tmp.write(data, size);
    }, limits);
    tmp.commit();
}

std::size_t keyCount(const NewCurve& nc) {
    if (nc.column) return nc.column->size();
    if (!nc.curve.keys.empty() || nc.source.isNull()) return nc.curve.keys.size();
    return curveKeyCount(nc.source);
}

}  // namespace qmfhost::ma
