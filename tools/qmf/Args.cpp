#include "Args.h"

#include <cstdlib>

namespace qmf {

std::string Args::value(const std::string& flag) const {
    auto it = values.find(flag);
    return it == values.end() ? std::string() : it->second;
}

std::vector<std::string> Args::all(const std::string& flag) const {
    auto it = repeated.find(flag);
    return it == repeated.end() ? std::vector<std::string>() : it->second;
}

Args parseArgs(const std::string& command, int argc, char** argv, const std::vector<Option>& allowed) {
    Args a;
    auto find = [&](const std::string& f) -> const Option* {
        for (const auto& o : allowed)
            if (o.flag == f) return &o;
        return nullptr;
    };
    bool endOfFlags = false;
    for (int i = 0; i < argc; ++i) {
        std::string s = argv[i];
        if (endOfFlags || s.size() < 2 || s[0] != '-') {
            a.positional.push_back(s);
            continue;
        }
        if (s == "--") {
            endOfFlags = true;
            continue;
        }
        if (s == "-h" || s == "--help") {
            a.help = true;
            continue;
        }
        std::string flag = s, value;
        bool inlineValue = false;
        std::size_t eq = s.find('=');
        if (s.rfind("--", 0) == 0 && eq != std::string::npos) {
            flag = s.substr(0, eq);
            value = s.substr(eq + 1);
            inlineValue = true;
        }
        if (flag == "--output") flag = "-o";
        const Option* o = find(flag);
        if (!o) throw CommandError(command + ": unknown option " + s + " (see qmf " + command + " --help)");
        if (!o->takesValue) {
            if (inlineValue) throw CommandError(command + ": " + flag + " takes no value");
            a.switches.insert(flag);
            continue;
        }
        if (!inlineValue) {
            if (i + 1 >= argc) throw CommandError(command + ": " + flag + " needs a value");
            value = argv[++i];
        }
        a.values[flag] = value;
        a.repeated[flag].push_back(value);
    }
    return a;
}

void needPositional(const std::string& command, const Args& a, std::size_t n) {
    if (a.positional.size() != n)
        throw CommandError(command + ": expected " + std::to_string(n) + " file arguments, got " +
                           std::to_string(a.positional.size()) + " (see qmf " + command + " --help)");
}

uint32_t stepOption(const std::string& command, const std::string& text) {
    bool digits = !text.empty() && text.size() <= 9;
    for (char c : text) digits = digits && c >= '0' && c <= '9';
    const unsigned long v = digits ? std::stoul(text) : 0;
    if (v == 0) throw CommandError(command + ": --step needs a whole number of frames from 1, not '" + text + "'");
    return static_cast<uint32_t>(v);
}

double rateOption(const std::string& command, const std::string& text) {
    char* end = nullptr;
    const double v = text.empty() ? 0 : std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !(v > 0) || !(v <= 100000))
        throw CommandError(command + ": --rate needs frames per second above 0 (at most 100000), not '" + text + "'");
    return v;
}

}  // namespace qmf
