// The parse floor of a scene made of long key lists: read the file into one
// buffer of its size, split it at blanks, ';' and quotes, and read every
// token that is a number into a double, keeping nothing. Written apart from
// the host's reader, so it shares none of its code.
#include <charconv>
#include <cstdio>
#include <string>
#include <system_error>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ma_numbers_floor SCENE.ma\n");
        return 2;
    }
    std::FILE* f = std::fopen(argv[1], "rb");
    if (!f) {
        std::fprintf(stderr, "ma_numbers_floor: cannot open %s\n", argv[1]);
        return 1;
    }
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    std::string bytes(static_cast<std::size_t>(size < 0 ? 0 : size), '\0');
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    if (got != bytes.size()) {
        std::fprintf(stderr, "ma_numbers_floor: cannot read %s\n", argv[1]);
        return 1;
    }
    auto separator = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ';' || c == '"';
    };
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    std::size_t numbers = 0;
    double sum = 0;
    while (p < end) {
        while (p < end && separator(*p)) ++p;
        const char* token = p;
        while (p < end && !separator(*p)) ++p;
        if (token == p) continue;
        double v = 0;
        const auto r = std::from_chars(token, p, v);
        if (r.ec == std::errc() && r.ptr == p) {
            ++numbers;
            sum += v;
        }
    }
    std::printf("%zu numbers, sum %.17g\n", numbers, sum);
    return 0;
}
