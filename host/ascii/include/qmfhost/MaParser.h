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
// (blank lines, comments). The text is a view into the bytes parsed, which
// must outlive the chunk.
//
// A long run of plain numbers in a setAttr (a curve's keys, an array's
// values) is not split into arguments: a string per number would cost ten
// times the file. The run stays in the text, between runBegin and runEnd
// (offsets into text), and stands between args[runAt - 1] and args[runAt];
// runNumbers() reads it.
struct Chunk {
    enum class Kind { Statement, Gap };
    Kind kind = Kind::Gap;
    std::string_view text;
    int line = 0;           // first line of the statement
    std::vector<Arg> args;  // args[0] is the command; empty for gaps
    bool topLevel = true;   // not indented (a node block's own lines are indented)
    std::size_t runAt = 0, runCount = 0, runBegin = 0, runEnd = 0;  // runCount 0: no run
    const std::string& command() const;
    // Arguments with the run's numbers counted in.
    std::size_t argCount() const { return args.size() + runCount; }
    std::string_view runText() const { return text.substr(runBegin, runEnd - runBegin); }
};

// Runs shorter than this stay arguments.
constexpr std::size_t kMinNumberRun = 32;

// Calls f(token) for each number of a chunk's run, in order, from the k-th on.
template <typename F>
void forEachRunToken(const Chunk& c, std::size_t from, F&& f) {
    const std::string_view run = c.runText();
    std::size_t i = 0, k = 0;
    while (i < run.size()) {
        const char ch = run[i];
        if (ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' || ch == '\f' || ch == '\v') {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < run.size() && run[end] != ' ' && run[end] != '\t' && run[end] != '\r' && run[end] != '\n' &&
               run[end] != '\f' && run[end] != '\v')
            ++end;
        if (k++ >= from) f(run.substr(i, end - i));
        i = end;
    }
}

// The value of a run's token: false when it does not fit a finite double
// (the caller says which token).
bool runNumber(std::string_view token, double& out);

// The values of a chunk's run from its k-th number on, appended to out in
// one pass over the text. False when one does not fit a finite double; that
// token is then in bad.
bool appendRunNumbers(const Chunk& c, std::size_t from, std::vector<double>& out, std::string& bad);

struct Limits {
    std::size_t maxFileBytes = std::size_t(1) << 30;
    std::size_t maxStatementBytes = std::size_t(256) << 20;
    std::size_t maxArgsPerStatement = std::size_t(1) << 24;
};

// The first bytes decide what kind of file this is; throws ParseError with a
// clear message for binary Maya scenes and for anything not Maya ASCII.
void checkHeader(std::string_view bytes);

// Splits bytes into chunks; concatenating every chunk's text gives bytes back.
// The chunks' texts are views into bytes.
std::vector<Chunk> parseChunks(std::string_view bytes, const Limits& limits = {});

// Quotes a string for MEL, escaping what needs it.
std::string quote(std::string_view text);

}  // namespace qmfhost::ma
