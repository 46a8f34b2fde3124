// A long motion-capture clip (60 joints x 100,000 frames, every frame keyed):
// write it, then open it and read every orientation key the way the
// translator does (key test, then get), next to a plain read of the file.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kell.h"
#include "kell_authoring.h"
#include "../common/mocap_clip.h"

namespace {

constexpr int kJoints = 60;
constexpr int kFrames = 100000;

std::string clipPath() {
    const char *tmp = std::getenv("TMPDIR");
    static const std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/kell_bench_" +
                                    std::to_string(::getpid()) + ".qmf";
    return path;
}

ANM_ANIMATION_HANDLE buildClip() { return qmfbench::buildMocapClip(kJoints, kFrames); }

FM_FILE_IDENTIFIER_TYPE clipId() {
    FM_FILE_IDENTIFIER_TYPE id;
    fm_path_name_to_file_id_f(clipPath().c_str(), &id);
    return id;
}

// The file must exist before the read benchmarks run.
size_t ensureClip() {
    static size_t size = [] {
        ANM_ANIMATION_HANDLE a = buildClip();
        FM_FILE_IDENTIFIER_TYPE id = clipId();
        if (!anm_animation_save_as_f(a, &id, 0, nullptr)) {
            std::fprintf(stderr, "kell_bench: cannot save %s: %s\n", clipPath().c_str(), kell_last_error_message());
            std::exit(1);
        }
        anm_animation_dispose(a);
        std::atexit([] { std::remove(clipPath().c_str()); });
        FILE *f = std::fopen(clipPath().c_str(), "rb");
        std::fseek(f, 0, SEEK_END);
        const long n = std::ftell(f);
        std::fclose(f);
        return static_cast<size_t>(n);
    }();
    return size;
}

// Plain sequential read of the whole file into one buffer, as a reader
// that does nothing with the bytes would.
size_t plainRead(std::vector<char> &buffer) {
    const int fd = ::open(clipPath().c_str(), O_RDONLY);
    size_t total = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data() + total, buffer.size() - total);
        if (n <= 0) break;
        total += static_cast<size_t>(n);
    }
    ::close(fd);
    return total;
}

// Every key the way the translator's import asks for it: frames 0..count.
uint32_t readEveryKey(ANM_ANIMATION_HANDLE a, int64_t &keys) {
    FIG_FIGURE_HANDLE f = anm_animation_figure_get_by_index_f(a, 0);
    const int32_t last = anm_animation_number_of_frames_get_f(a);
    uint32_t seen = 0;  // folds every value in, cheaply, so none can be skipped
    quaternion q;
    for (SKL_JOINT_ID j = 0; j < kJoints; ++j) {
        for (int32_t frame = 0; frame <= last; ++frame) {
            if (!fgf_frame_joint_orientation_key_f(f, frame, j, 0)) continue;
            fgf_frame_joint_orientation_get(f, frame, j, &q, 1);
            uint32_t bits[4];
            std::memcpy(bits, &q, sizeof q);
            seen ^= bits[0] ^ bits[1] ^ bits[2] ^ bits[3];
            ++keys;
        }
    }
    return seen;
}

void BM_WriteClip(benchmark::State &state) {
    ANM_ANIMATION_HANDLE a = buildClip();
    FM_FILE_IDENTIFIER_TYPE id;
    const std::string path = clipPath() + ".write";
    fm_path_name_to_file_id_f(path.c_str(), &id);
    for (auto _ : state) benchmark::DoNotOptimize(anm_animation_save_as_f(a, &id, 0, nullptr));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(ensureClip()));
    anm_animation_dispose(a);
    std::remove(path.c_str());
}

void BM_PlainRead(benchmark::State &state) {
    std::vector<char> buffer(ensureClip() + 1);
    for (auto _ : state) benchmark::DoNotOptimize(plainRead(buffer));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(ensureClip()));
}

void BM_OpenAndReadEveryKey(benchmark::State &state) {
    const size_t fileSize = ensureClip();
    std::vector<char> buffer(fileSize + 1);
    FM_FILE_IDENTIFIER_TYPE id = clipId();
    int64_t keys = 0;
    double ours = 0, plain = 0;
    size_t memory = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        ANM_ANIMATION_HANDLE a = anm_animation_open_f(&id, 1);
        if (a == ANM_INVALID_ANIMATION) {
            state.SkipWithError(kell_last_error_message());
            break;
        }
        benchmark::DoNotOptimize(readEveryKey(a, keys));
        const auto t1 = std::chrono::steady_clock::now();
        state.PauseTiming();
        memory = anm_animation_memory_size_get_f(a);
        anm_animation_dispose(a);
        // The plain read in the same run, so both see the same cache state.
        const auto p0 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(plainRead(buffer));
        const auto p1 = std::chrono::steady_clock::now();
        state.ResumeTiming();
        ours += std::chrono::duration<double>(t1 - t0).count();
        plain += std::chrono::duration<double>(p1 - p0).count();
    }
    state.SetItemsProcessed(keys);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fileSize));
    state.counters["file_MB"] = static_cast<double>(fileSize) / 1e6;
    state.counters["memory_MB"] = static_cast<double>(memory) / 1e6;
    state.counters["memory_per_file_byte"] = static_cast<double>(memory) / static_cast<double>(fileSize);
    state.counters["plain_read_ms"] = plain * 1e3 / static_cast<double>(state.iterations());
    state.counters["times_plain_read"] = plain > 0 ? ours / plain : 0;
}

// Opening alone: reading, checking and indexing the file.
void BM_Open(benchmark::State &state) {
    const size_t fileSize = ensureClip();
    FM_FILE_IDENTIFIER_TYPE id = clipId();
    for (auto _ : state) {
        ANM_ANIMATION_HANDLE a = anm_animation_open_f(&id, 1);
        state.PauseTiming();
        anm_animation_dispose(a);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fileSize));
}

void BM_ReadEveryKeyOpened(benchmark::State &state) {
    ensureClip();
    FM_FILE_IDENTIFIER_TYPE id = clipId();
    ANM_ANIMATION_HANDLE a = anm_animation_open_f(&id, 1);
    int64_t keys = 0;
    for (auto _ : state) benchmark::DoNotOptimize(readEveryKey(a, keys));
    state.SetItemsProcessed(keys);
    anm_animation_dispose(a);
}

BENCHMARK(BM_WriteClip)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenAndReadEveryKey)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadEveryKeyOpened)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
