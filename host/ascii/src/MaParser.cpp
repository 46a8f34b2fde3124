#include "qmfhost/MaParser.h"

#include "Digits.h"

#include <algorithm>
#include <charconv>
#include <iterator>

#include <cerrno>
#include <cstdint>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace qmfhost::ma {

// Literals as views: comparing a view checks the length before any bytes.
using namespace std::string_view_literals;

ParseError::ParseError(int line, const std::string& what)
    : std::runtime_error(line > 0 ? "line " + std::to_string(line) + ": " + what : what), line_(line) {}

const std::string& Chunk::command() const {
    static const std::string none;
    return args.empty() ? none : args[0].text;
}

void checkHeader(std::string_view bytes) {
    if (bytes.size() >= 4 && (bytes.substr(0, 4) == "FOR4"sv || bytes.substr(0, 4) == "FOR8"sv))
        throw ParseError(0, "binary Maya scene (.mb); only Maya ASCII is supported");
    if (bytes.substr(0, 6) != "//Maya"sv)
        throw ParseError(0, "not a Maya ASCII scene (it must begin with //Maya)");
}

namespace {

class Scanner {
public:
    Scanner(std::string_view s, const Limits& limits) : s_(s), limits_(limits) {}

    std::vector<Chunk> run() {
        std::vector<Chunk> out;
        // Growing the vector from nothing would move every chunk about twenty
        // times. Each statement ends in ';' and nearly always its own line;
        // counting both, and at most one chunk per 16 bytes, keeps ';' in
        // comments or strings from reserving more than a few times the file.
        const auto semicolons = static_cast<std::size_t>(std::count(s_.begin(), s_.end(), ';'));
        const auto lines = static_cast<std::size_t>(std::count(s_.begin(), s_.end(), '\n')) + 1;
        out.reserve(std::min({semicolons, lines, s_.size() / 16}) + 1);
        std::size_t gapStart = 0;
        int gapLine = 1;
        while (true) {
            // Skip whitespace and comments between statements.
            std::size_t lineStart = pos_;  // start of indentation of the next statement
            while (pos_ < s_.size()) {
                char c = s_[pos_];
                if (c == '\n') {
                    ++line_;
                    ++pos_;
                    lineStart = pos_;
                } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
                    ++pos_;
                } else if (startsComment()) {
                    skipComment();
                    lineStart = pos_;
                } else {
                    break;
                }
            }
            if (pos_ >= s_.size()) {
                if (gapStart < s_.size()) out.push_back(gap(gapStart, s_.size(), gapLine));
                return out;
            }
            // Indentation belongs to the statement only if nothing else precedes it on its line.
            std::size_t stmtStart = lineStart;
            for (std::size_t i = lineStart; i < pos_; ++i)
                if (s_[i] != ' ' && s_[i] != '\t') stmtStart = pos_;
            if (stmtStart > gapStart) out.push_back(gap(gapStart, stmtStart, gapLine));
            Chunk st;
            st.kind = Chunk::Kind::Statement;
            st.line = line_;
            st.topLevel = stmtStart == pos_ || (s_[stmtStart] != ' ' && s_[stmtStart] != '\t');
            parseStatement(st, stmtStart);
            // Keep trailing blanks and the newline with the statement.
            std::size_t end = pos_;
            while (end < s_.size() && (s_[end] == ' ' || s_[end] == '\t' || s_[end] == '\r')) ++end;
            if (end < s_.size() && s_[end] == '\n') {
                pos_ = end + 1;
                ++line_;
            }
            if (pos_ - stmtStart > limits_.maxStatementBytes)
                throw ParseError(st.line, "statement longer than the limit of " +
                                              std::to_string(limits_.maxStatementBytes) + " bytes");
            st.text = s_.substr(stmtStart, pos_ - stmtStart);
            out.push_back(std::move(st));
            gapStart = pos_;
            gapLine = line_;
        }
    }

private:
    Chunk gap(std::size_t from, std::size_t to, int line) {
        Chunk g;
        g.kind = Chunk::Kind::Gap;
        g.text = s_.substr(from, to - from);
        g.line = line;
        return g;
    }

    bool startsComment() const {
        return pos_ + 1 < s_.size() && s_[pos_] == '/' && (s_[pos_ + 1] == '/' || s_[pos_ + 1] == '*');
    }

    void skipComment() {
        sawComment_ = true;
        if (s_[pos_ + 1] == '/') {
            while (pos_ < s_.size() && s_[pos_] != '\n') ++pos_;
            return;
        }
        int startLine = line_;
        pos_ += 2;
        while (pos_ + 1 < s_.size() && !(s_[pos_] == '*' && s_[pos_ + 1] == '/')) {
            if (s_[pos_] == '\n') ++line_;
            ++pos_;
        }
        if (pos_ + 1 >= s_.size()) throw ParseError(startLine, "unterminated /* comment");
        pos_ += 2;
    }

    static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

    void skipSpace() {
        while (pos_ < s_.size()) {
            char c = s_[pos_];
            if (c == '\n') {
                ++line_;
                ++pos_;
            } else if (isSpace(c)) {
                ++pos_;
            } else if (startsComment()) {
                skipComment();
            } else {
                return;
            }
        }
    }

    std::string readString() {
        int startLine = line_;
        std::string out;
        ++pos_;  // opening quote
        while (pos_ < s_.size()) {
            // Plain text up to the next quote, escape or newline in one go.
            std::size_t run = pos_;
            while (run < s_.size() && s_[run] != '"' && s_[run] != '\\' && s_[run] != '\n') ++run;
            out.append(s_.data() + pos_, run - pos_);
            pos_ = run;
            if (pos_ >= s_.size()) break;
            char c = s_[pos_++];
            if (c == '"') return out;
            if (c == '\n') ++line_;
            if (c == '\\') {
                if (pos_ >= s_.size()) break;
                char e = s_[pos_++];
                switch (e) {
                    case 'n': out += '\n'; break;
                    case 't': out += '\t'; break;
                    case 'r': out += '\r'; break;
                    case '\n': ++line_; out += '\n'; break;
                    default: out += e; break;  // \" \\ and anything else as itself
                }
                continue;
            }
            out += c;
        }
        throw ParseError(startLine, "unterminated string");
    }

    // ( "a" + "b" + ... ) joins into one string; anything else in parentheses
    // is kept as its raw text.
    Arg readGroup() {
        int startLine = line_;
        std::size_t start = pos_;
        ++pos_;
        std::string joined;
        bool onlyStrings = true;
        bool expectString = true;
        int depth = 1;
        while (true) {
            skipSpace();
            if (pos_ >= s_.size()) throw ParseError(startLine, "unterminated parenthesis");
            char c = s_[pos_];
            if (c == ')') {
                ++pos_;
                if (--depth == 0) break;
                onlyStrings = false;
            } else if (c == '(') {
                ++pos_;
                ++depth;
                onlyStrings = false;
            } else if (c == '"') {
                std::string part = readString();
                if (!expectString) onlyStrings = false;
                joined += part;
                expectString = false;
            } else if (c == '+') {
                ++pos_;
                if (expectString) onlyStrings = false;
                expectString = true;
            } else if (c == ';') {
                throw ParseError(startLine, "unterminated parenthesis");
            } else {
                ++pos_;
                onlyStrings = false;
            }
        }
        Arg a;
        if (onlyStrings && !expectString) {
            a.text = std::move(joined);
            a.quoted = true;
        } else {
            a.text.assign(s_.substr(start, pos_ - start));
        }
        return a;
    }

    // Digits with an optional sign, point and exponent: what strtod reads
    // whole, without its other forms (hex, inf, nan), which stay arguments.
    // Where such a number starting at i ends, or npos.
    static std::size_t numberEnd(std::string_view t, std::size_t i) {
        auto digit = [&t](std::size_t k) { return k < t.size() && t[k] >= '0' && t[k] <= '9'; };
        const char* const base = t.data();
        auto skip = [&](std::size_t k) { return static_cast<std::size_t>(skipDigits(base + k, base + t.size()) - base); };
        if (i < t.size() && t[i] == '-') ++i;
        std::size_t digits = i;
        i = skip(i);
        if (i < t.size() && t[i] == '.') {
            ++digits;  // the point is not a digit
            i = skip(i + 1);
        }
        if (i == digits) return std::string_view::npos;
        if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
            ++i;
            if (i < t.size() && (t[i] == '-' || t[i] == '+')) ++i;
            if (!digit(i)) return std::string_view::npos;
            while (digit(i)) ++i;
        }
        return i;
    }

    static bool plainNumber(std::string_view t) { return numberEnd(t, 0) == t.size(); }

    // Takes the numbers that follow into st's run, up to anything else.
    void extendRun(Chunk& st, std::size_t stmtStart) {
        while (true) {
            std::size_t p = pos_;
            int lines = 0;
            for (; p < s_.size() && isSpace(s_[p]); ++p)
                if (s_[p] == '\n') ++lines;
            const std::size_t end = p < s_.size() ? numberEnd(s_, p) : std::string_view::npos;
            // A number only when the token ends with it.
            if (end == std::string_view::npos ||
                (end < s_.size() && !isSpace(s_[end]) && s_[end] != ';' && s_[end] != '"'))
                return;
            if (args_.size() + st.runCount >= limits_.maxArgsPerStatement)
                throw ParseError(st.line, "statement has more than " +
                                              std::to_string(limits_.maxArgsPerStatement) + " arguments");
            pos_ = end;
            line_ += lines;
            ++st.runCount;
            st.runEnd = pos_ - stmtStart;
        }
    }

    void parseStatement(Chunk& st, std::size_t stmtStart) {
        // Arguments gather in a vector kept between statements, then move
        // into one of the exact size: one allocation per statement.
        args_.clear();
        bool packs = false;  // a setAttr: its one long run of numbers stays text
        bool runDone = false;
        std::size_t streak = 0, streakBegin = 0;  // plain numbers last in args_, no comment between
        auto endStreak = [&] { streak = 0; };
        while (true) {
            sawComment_ = false;
            skipSpace();
            if (sawComment_) endStreak();
            if (pos_ >= s_.size()) throw ParseError(st.line, "statement has no closing ';'");
            char c = s_[pos_];
            if (c == ';') {
                ++pos_;
                st.args.reserve(args_.size());
                std::move(args_.begin(), args_.end(), std::back_inserter(st.args));
                return;
            }
            if (args_.size() + st.runCount >= limits_.maxArgsPerStatement)
                throw ParseError(st.line, "statement has more than " +
                                              std::to_string(limits_.maxArgsPerStatement) + " arguments");
            Arg a;
            if (c == '"') {
                a.text = readString();
                a.quoted = true;
                endStreak();
            } else if (c == '(') {
                a = readGroup();
                endStreak();
            } else {
                std::size_t start = pos_;
                while (pos_ < s_.size() && !isSpace(s_[pos_]) && s_[pos_] != ';' && s_[pos_] != '"')
                    ++pos_;
                const std::string_view token = s_.substr(start, pos_ - start);
                if (packs && !runDone && plainNumber(token)) {
                    if (streak++ == 0) streakBegin = start;
                    if (streak == kMinNumberRun) {
                        // The numbers so far leave the arguments for the run.
                        args_.resize(args_.size() - (kMinNumberRun - 1));
                        st.runAt = args_.size();
                        st.runCount = kMinNumberRun;
                        st.runBegin = streakBegin - stmtStart;
                        st.runEnd = pos_ - stmtStart;
                        extendRun(st, stmtStart);
                        runDone = true;
                        streak = 0;
                        continue;
                    }
                } else {
                    endStreak();
                }
                a.text.assign(token);
            }
            args_.push_back(std::move(a));
            if (args_.size() == 1) packs = args_[0].text == "setAttr"sv;
        }
    }

    std::string_view s_;
    std::vector<Arg> args_;
    const Limits& limits_;
    std::size_t pos_ = 0;
    int line_ = 1;
    bool sawComment_ = false;
};

}  // namespace

std::vector<Chunk> parseChunks(std::string_view bytes, const Limits& limits) {
    if (bytes.size() > limits.maxFileBytes)
        throw ParseError(0, "file larger than the limit of " + std::to_string(limits.maxFileBytes) + " bytes");
    if (std::memchr(bytes.data(), '\0', bytes.size()) != nullptr) {
        int line = 1;
        for (char c : bytes) {
            if (c == '\0') break;
            if (c == '\n') ++line;
        }
        throw ParseError(line, "NUL byte in a text scene");
    }
    return Scanner(bytes, limits).run();
}

std::string quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            default: out += c; break;
        }
    }
    out += '"';
    return out;
}

}  // namespace qmfhost::ma
