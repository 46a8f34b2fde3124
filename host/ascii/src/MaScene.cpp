#include "qmfhost/MaScene.h"

#include "MaInterpreter.h"
#include "fileio/SafeFile.h"

#include <string>

namespace qmfhost::ma {

namespace detail {

// Literals as views: comparing a view checks the length before any bytes.
using namespace std::string_view_literals;

void Interpreter::run() {
    s_.chunkNode.assign(s_.chunks.size(), -1);
    s_.chunkConnection.assign(s_.chunks.size(), -1);
    // Sized once: growing the node list and its indexes would move and
    // rehash every node several times over in a large rig.
    std::size_t created = 0, connected = 0;
    for (const Chunk& c : s_.chunks) {
        if (c.kind != Chunk::Kind::Statement || c.args.empty()) continue;
        if (c.args[0].text == "createNode"sv) ++created;
        else if (c.args[0].text == "connectAttr"sv) ++connected;
    }
    s_.reserveNodes(created);
    s_.dagEvents.reserve(created);
    s_.connections.reserve(connected);
    disconnected_.reserve(connected);
    for (std::size_t i = 0; i < s_.chunks.size(); ++i) {
        const Chunk& c = s_.chunks[i];
        if (c.kind != Chunk::Kind::Statement || c.args.empty()) continue;
        chunk_ = i;
        statement(c);
    }
    finishCurves();
    dropDisconnected();
}

void Interpreter::statement(const Chunk& c) {
    const std::string& cmd = c.command();
    if (cmd == "createNode"sv) {
        createNode(c);
    } else if (cmd == "setAttr"sv) {
        setAttr(c);
    } else if (cmd == "addAttr"sv || cmd == "lockNode"sv) {
        if (!c.topLevel && current_ >= 0) s_.chunkNode[chunk_] = current_;
    } else if (cmd == "rename"sv) {
        rename(c);
    } else if (cmd == "select"sv) {
        select(c);
    } else if (cmd == "currentUnit"sv) {
        for (std::size_t i = 1; i + 1 < c.args.size(); i += 2)
            if (!applyUnitFlag(s_.units, c.args[i].text, c.args[i + 1].text))
                throw ParseError(c.line, "unknown unit " + c.args[i + 1].text + " for " + c.args[i].text);
    } else if (cmd == "parent"sv) {
        parent(c);
    } else if (cmd == "connectAttr"sv) {
        connect(c);
    } else if (cmd == "disconnectAttr"sv) {
        disconnect(c);
    }
    // Everything else (requires, file, fileInfo, relationship, scripts...) is kept as text only.
}

}  // namespace detail


Scene interpret(std::vector<Chunk> chunks) {
    Scene s;
    s.chunks = std::move(chunks);
    detail::Interpreter(s).run();
    return s;
}

Scene readText(std::string_view text) {
    checkHeader(text);
    return interpret(parseChunks(text));
}

Scene readFile(const std::string& path) {
    Limits limits;
    std::string bytes;
    try {
        // Only a regular file, opened without blocking: a FIFO must not hang the reader.
        fileio::InputFile in(path);
        if (in.size() > limits.maxFileBytes)
            throw ParseError(0, path + " is larger than the limit of " + std::to_string(limits.maxFileBytes) + " bytes");
        bytes = in.readAll(limits.maxFileBytes);
    } catch (const fileio::Error& e) {
        throw ParseError(0, e.what());
    }
    return readText(bytes);
}

}  // namespace qmfhost::ma
