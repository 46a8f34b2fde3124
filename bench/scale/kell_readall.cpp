// One job per process, for timing from outside:
//   kell_readall write CLIP [JOINTS FRAMES]  writes a clip keyed on every frame
//   kell_readall read CLIP                   opens it and reads every key the
//                                            way the translator's import does
//   kell_readall plain CLIP                  reads the same bytes with read()
//                                            through a 1 MiB buffer
//   kell_readall whole CLIP                  reads them with read() into one
//                                            buffer of the file's size
// `read` prints the key count and an XOR of every value's 32-bit words, so
// an independent reader can check that the same keys came out.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kell.h"
#include "kell_authoring.h"
#include "../common/mocap_clip.h"

namespace {

uint32_t fold(const void* value, size_t size) {
    uint32_t words[4] = {0, 0, 0, 0};
    std::memcpy(words, value, size);
    return words[0] ^ words[1] ^ words[2] ^ words[3];
}

int write(const char* path, int joints, int frames) {
    ANM_ANIMATION_HANDLE a = qmfbench::buildMocapClip(joints, frames);
    FM_FILE_IDENTIFIER_TYPE id;
    if (!fm_path_name_to_file_id_f(path, &id) || !anm_animation_save_as_f(a, &id, 0, nullptr)) {
        std::fprintf(stderr, "kell_readall: cannot write %s: %s\n", path, kell_last_error_message());
        return 1;
    }
    anm_animation_dispose(a);
    return 0;
}

int read(const char* path) {
    FM_FILE_IDENTIFIER_TYPE id;
    ANM_ANIMATION_HANDLE a =
        fm_path_name_to_file_id_f(path, &id) ? anm_animation_open_f(&id, 1) : ANM_INVALID_ANIMATION;
    if (a == ANM_INVALID_ANIMATION) {
        std::fprintf(stderr, "kell_readall: cannot open %s: %s\n", path, kell_last_error_message());
        return 1;
    }
    FIG_FIGURE_HANDLE f = anm_animation_figure_get_by_index_f(a, 0);
    SKL_SKELETON_HANDLE s = fig_figure_get_skel(f);
    const int32_t last = anm_animation_number_of_frames_get_f(a);
    const int32_t joints = skl_skeleton_number_of_joints_get_f(s);
    uint64_t keys = 0;
    uint32_t seen = 0;
    // As the import asks: frames 0..count, key test first.
    for (int32_t c = 1; c <= 3; ++c) {
        for (int32_t frame = 0; frame <= last; ++frame) {
            if (!fgf_frame_value_key_f(f, frame, c)) continue;
            const float v = fgf_frame_value_get_f(f, frame, c);
            seen ^= fold(&v, sizeof v);
            ++keys;
        }
    }
    quaternion q;
    for (SKL_JOINT_ID j = 0; j < joints; ++j) {
        for (int32_t frame = 0; frame <= last; ++frame) {
            if (!fgf_frame_joint_orientation_key_f(f, frame, j, 0)) continue;
            fgf_frame_joint_orientation_get(f, frame, j, &q, 1);
            seen ^= fold(&q, sizeof q);
            ++keys;
        }
    }
    std::printf("keys %llu fold %08x\n", static_cast<unsigned long long>(keys), seen);
    anm_animation_dispose(a);
    return 0;
}

int plain(const char* path, bool whole) {
    const int fd = ::open(path, O_RDONLY);
    if (fd < 0) {
        std::perror(path);
        return 1;
    }
    const off_t end = ::lseek(fd, 0, SEEK_END);
    ::lseek(fd, 0, SEEK_SET);
    const size_t size = whole && end > 0 ? static_cast<size_t>(end) : size_t{1} << 20;
    char* buffer = static_cast<char*>(std::malloc(size));
    size_t total = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer + (whole ? total : 0), size - (whole ? total : 0));
        if (n <= 0) break;
        total += static_cast<size_t>(n);
    }
    std::free(buffer);
    ::close(fd);
    std::printf("bytes %zu\n", total);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc >= 3 ? argv[1] : "";
    if (mode == "write" && (argc == 3 || argc == 5))
        return write(argv[2], argc == 5 ? std::atoi(argv[3]) : 60, argc == 5 ? std::atoi(argv[4]) : 100000);
    if (mode == "read" && argc == 3) return read(argv[2]);
    if ((mode == "plain" || mode == "whole") && argc == 3) return plain(argv[2], mode == "whole");
    std::fprintf(stderr, "usage: kell_readall write|read|plain|whole CLIP [JOINTS FRAMES]\n");
    return 2;
}
