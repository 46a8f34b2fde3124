// Writes a clip large enough that the library reads it through a mapping, for
// the unload test, which must not link the library itself.
#include "kell.h"
#include "kell_test_support.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_big_clip OUT.qmf\n");
        return 2;
    }
    kelltest::Sample shape;
    shape.joints = 24;
    shape.frames = 40000;  // about 15 MB, over the size from which files are mapped
    shape.parts = false;
    ANM_ANIMATION_HANDLE a = kelltest::makeSample(shape);
    const bool saved = !kelltest::saveBytes(a, argv[1]).empty();
    anm_animation_dispose(a);
    return saved ? 0 : 1;
}
