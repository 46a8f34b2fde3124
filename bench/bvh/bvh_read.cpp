// bvh_read FILE: reads the hierarchy and every declared frame, as a
// conversion does (the frame lines counted first, then parsed one by one),
// and prints what it read with a checksum of the values so none is skipped.
#include "bvh/Reader.h"

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bvh_read FILE.bvh\n");
        return 2;
    }
    try {
        bvh::Reader r = bvh::Reader::open(argv[1]);
        r.readHeader();
        const unsigned long long ignored = r.checkFrameLines();
        std::vector<double> v(r.hierarchy().channelCount);
        double sum = 0;
        unsigned long frames = 0;
        while (r.readFrame(v.data())) {
            for (double x : v) sum += x;
            ++frames;
        }
        std::printf("%zu joints, %u channels, %lu frames (%llu lines ignored), sum %.6g\n", r.hierarchy().joints.size(),
                    r.hierarchy().channelCount, frames, ignored, sum);
    } catch (const bvh::Error& e) {
        std::fprintf(stderr, "bvh_read: %s: %s\n", argv[1], e.what());
        return 1;
    }
    return 0;
}
