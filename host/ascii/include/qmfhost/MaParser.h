// Maya ASCII statement parser: splits a .ma file into MEL statements and
// their arguments, keeping every byte so the file can be written back as read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qmfhost::ma {

// One line, with the line number, for every fault in a file.
class ParseError : public std::runtime_error {
public:
    ParseError(int line, const std::string& what);
    int line() const { return line_; }

private:
    int line_;
};

struct Arg {
    std::string text;    // decoded: quotes removed, escapes resolved, "a" + "b" joined
    bool quoted = false; // came from a string literal
    bool isFlag() const { return !quoted && text.size() > 1 && text[0] == '-' && !isNumber(); }
    bool isNumber() const;
    std::optional<double> number() const;  // also yes/no/on/off/true/false
};

// A piece of the file: either a statement (text includes its indentation,
// the ';' and the rest of that line) or the text between statements
// (blank lines, comments).
struct Chunk {
    enum class Kind { Statement, Gap };
    Kind kind = Kind::Gap;
    std::string text;
    int line = 0;           // first line of the statement
    std::vector<Arg> args;  // args[0] is the command; empty for gaps
    bool topLevel = true;   // not indented (a node block's own lines are indented)
    const std::string& command() const;
};

struct Limits {
    std::size_t maxFileBytes = std::size_t(1) << 30;
    std::size_t maxStatementBytes = std::size_t(256) << 20;
    std::size_t maxArgsPerStatement = std::size_t(1) << 24;
};

// The first bytes decide what kind of file this is; throws ParseError with a
// clear message for binary Maya scenes and for anything not Maya ASCII.
void checkHeader(std::string_view bytes);

// Splits bytes into chunks; concatenating every chunk's text gives bytes back.
std::vector<Chunk> parseChunks(std::string_view bytes, const Limits& limits = {});

// Quotes a string for MEL, escaping what needs it.
std::string quote(std::string_view text);

}  // namespace qmfhost::ma
