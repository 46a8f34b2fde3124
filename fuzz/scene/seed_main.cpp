// Writes the scene fuzzer's seeds into the folder named.
#include "SceneFromBytes.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: scene_seed_corpus FOLDER\n");
        return 2;
    }
    std::printf("%d seeds\n", scenefuzz::writeSeeds(argv[1]));
    return 0;
}
