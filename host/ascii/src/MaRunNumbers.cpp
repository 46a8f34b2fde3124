// The numbers of a scene's statements as the reader takes them: an
// argument's value as strtod reads it, and a run's numbers in one pass.
#include "qmfhost/MaParser.h"

#include "Digits.h"

#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace qmfhost::ma {

// Literals as views: comparing a view checks the length before any bytes.
using namespace std::string_view_literals;

bool Arg::isNumber() const {
    if (quoted || text.empty()) return false;
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    std::strtod(begin, &end);
    return end == begin + text.size();
}

std::optional<double> Arg::number() const {
    if (quoted) return std::nullopt;
    if (text == "yes"sv || text == "on"sv || text == "true"sv) return 1.0;
    if (text == "no"sv || text == "off"sv || text == "false"sv) return 0.0;
    if (text.empty()) return std::nullopt;
    // One conversion both checks and reads the number.
    const char* begin = text.c_str();
    char* end = nullptr;
    double v = std::strtod(begin, &end);
    if (end != begin + text.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

bool runNumber(std::string_view token, double& out) {
    const char* end = token.data() + token.size();
    // Whole numbers (key times, tangent codes) of up to 15 digits are exact
    // as doubles: read them without the general conversion.
    const char* p = token.data() + (!token.empty() && token[0] == '-');
    if (end - p >= 1 && end - p <= 15 && skipDigits(p, end) == end) {
        std::int64_t v = 0;
        for (const char* d = p; d < end; ++d) v = v * 10 + (*d - '0');
        out = p == token.data() ? static_cast<double>(v) : -static_cast<double>(v);
        return true;
    }
    auto r = std::from_chars(token.data(), end, out);
    if (r.ec == std::errc() && r.ptr == end && std::isfinite(out)) return true;
    // Out of range (or a form from_chars reads otherwise): decide as Arg::number does.
    std::optional<double> v = Arg{std::string(token), false}.number();
    if (!v) return false;
    out = *v;
    return true;
}

bool appendRunNumbers(const Chunk& c, std::size_t from, std::vector<double>& out, std::string& bad) {
    const std::string_view run = c.runText();
    const char* p = run.data();
    const char* const end = p + run.size();
    auto space = [](char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' || ch == '\f' || ch == '\v'; };
    for (std::size_t k = 0;; ++k) {
        while (p < end && space(*p)) ++p;
        if (p == end) return true;
        // The scanner let only plain numbers into the run: a token ends at
        // the first byte a number cannot hold.
        const char* digits = p + (*p == '-');
        const char* q = skipDigits(digits, end);
        const bool whole = q > digits && q - digits <= 15 && (q == end || space(*q));
        if (whole && k >= from) {
            std::int64_t v = 0;
            for (const char* d = digits; d < q; ++d) v = v * 10 + (*d - '0');
            out.push_back(digits == p ? static_cast<double>(v) : -static_cast<double>(v));
            p = q;
            continue;
        }
        if (!whole && k >= from) {
            double v = 0;
            const auto r = std::from_chars(p, end, v);
            if (r.ec == std::errc() && (r.ptr == end || space(*r.ptr)) && std::isfinite(v)) {
                out.push_back(v);
                p = r.ptr;
                continue;
            }
        }
        if (!whole) {
            while (q < end && !space(*q)) ++q;
        }
        if (k >= from) {
            double v = 0;
            if (!runNumber(std::string_view(p, static_cast<std::size_t>(q - p)), v)) {
                bad.assign(p, q);
                return false;
            }
            out.push_back(v);
        }
        p = q;
    }
}

}  // namespace qmfhost::ma
