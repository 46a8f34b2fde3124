// Reads a Maya ASCII scene and loads it into the headless host, as every
// qmf command does before the translator runs (the keys handed over); prints the node count and,
// on stderr, the CPU time of each phase.
#include <ctime>
#include <cstdio>
#include <exception>
#include <fstream>
#include <stdexcept>
#include <string>

#include "qmfhost/MaHost.h"
#include "qmfhost/MaScene.h"
#include "qmfhost/MaParser.h"

#include <memory>
#include <vector>

namespace {
// Resident memory now, in MB.
double residentMb() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * 4096.0 / 1e6;
}

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ma_load SCENE.ma\n");
        return 2;
    }
    try {
        const double t0 = cpuSeconds();
        auto bytes = std::make_shared<std::string>();
        {
            std::ifstream in(argv[1], std::ios::binary);
            in.seekg(0, std::ios::end);
            const std::streamoff size = in.tellg();
            in.seekg(0);
            if (!in || size < 0) throw std::runtime_error(std::string("cannot read ") + argv[1]);
            bytes->resize(static_cast<std::size_t>(size));
            in.read(bytes->data(), size);
            if (in.gcount() != size) throw std::runtime_error(std::string("cannot read ") + argv[1]);
        }
        const double t1 = cpuSeconds();
        qmfhost::ma::checkHeader(*bytes);
        std::vector<qmfhost::ma::Chunk> chunks = qmfhost::ma::parseChunks(*bytes);
        const double t2 = cpuSeconds();
        const double m2 = residentMb();
        auto scene = std::make_unique<qmfhost::ma::Scene>(qmfhost::ma::interpret(std::move(bytes), std::move(chunks)));
        const double t3 = cpuSeconds();
        const double m3 = residentMb();
        auto binding = std::make_unique<qmfhost::ma::Binding>(qmfhost::ma::loadIntoHost(*scene, qmfhost::ma::SceneKeys::HandedOver));
        const double t4 = cpuSeconds();
        const double m4 = residentMb();
        std::printf("%zu nodes\n", binding->nodes.size());
        binding.reset();
        scene.reset();
        const double t5 = cpuSeconds();
        std::fprintf(stderr,
                     "file %.3f s, statements %.3f s, scene %.3f s, host %.3f s, release %.3f s; "
                     "resident after statements %.0f MB, scene %.0f MB, host %.0f MB\n",
                     t1 - t0, t2 - t1, t3 - t2, t4 - t3, t5 - t4, m2, m3, m4);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ma_load: %s\n", e.what());
        return 1;
    }
    return 0;
}
