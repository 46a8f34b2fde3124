// Imports a clip keyed on every frame onto a chain of joints, through the
// translator module as the host loads it. Reports keys made per second.
#include <benchmark/benchmark.h>

#include <kell.h>
#include <kell_authoring.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnIkJoint.h>
#include <maya/MVector.h>
#include <qmfhost/Loader.h>
#include <qmfhost/PerrorCapture.h>
#include <qmfhost/Scene.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int kJoints = 60;

// A chain of joints, each 10 cm from its parent.
void buildChain()
{
    qmfhost::resetScene();
    MObject parent = MObject::kNullObj;
    for (int i = 0; i < kJoints; ++i) {
        MFnDagNode dag;
        MObject node = dag.create("joint", ("joint" + std::to_string(i)).c_str(), parent);
        MFnIkJoint joint(node);
        joint.setTranslation(MVector(10.0, 0.0, 0.0), MSpace::kTransform);
        parent = node;
    }
}

// Exports the chain, then keys every joint and the root on every frame.
bool writeClip(const qmfhost::PluginModule& module, const std::string& path, int frames)
{
    buildChain();
    if (!module.write("qmf", path))
        return false;
    FM_FILE_IDENTIFIER_TYPE id{};
    if (!fm_path_name_to_file_id_f(path.c_str(), &id))
        return false;
    ANM_ANIMATION_HANDLE animation = anm_animation_open_f(&id, 1);
    if (animation == ANM_INVALID_ANIMATION)
        return false;
    anm_animation_number_of_frames_set_f(animation, frames);
    FIG_FIGURE_HANDLE figure = anm_animation_figure_get_by_index_f(animation, 0);
    for (int f = 0; f < frames; ++f) {
        const float angle = 0.01f * static_cast<float>(f);
        for (int32_t channel = 1; channel <= 3; ++channel)
            fgf_frame_value_set_f(figure, f, channel, angle * static_cast<float>(channel));
        const quaternion q{-std::cos(angle / 2), std::sin(angle / 2), 0.0f, 0.0f};
        for (SKL_JOINT_ID j = 0; j < kJoints; ++j)
            fgf_frame_joint_orientation_set_f(figure, f, j, &q);
    }
    const bool saved = anm_animation_save_as_f(animation, &id, 0, nullptr) != 0;
    anm_animation_dispose(animation);
    return saved;
}

void BM_ImportEveryFrameKeyed(benchmark::State& state)
{
    const int frames = static_cast<int>(state.range(0));
    qmfhost::PluginModule module;
    if (!module.load(QMF_TRANSLATOR_MODULE)) {
        state.SkipWithError(module.lastError().c_str());
        return;
    }
    char pattern[] = "/tmp/qmf-import-bench-XXXXXX";
    if (!mkdtemp(pattern)) {
        state.SkipWithError("cannot make a scratch folder");
        return;
    }
    const std::string path = std::string(pattern) + "/clip.qmf";
    if (!writeClip(module, path, frames)) {
        state.SkipWithError("cannot write the clip");
        return;
    }

    qmfhost::PerrorCapture quiet;
    for (auto _ : state) {
        state.PauseTiming();
        buildChain();
        state.ResumeTiming();
        if (!module.read("qmf", path)) {
            state.SkipWithError("import failed");
            break;
        }
    }
    // Root translate keys, plus three rotate keys on each joint with a child.
    const double keys = static_cast<double>(frames) * (3.0 + 3.0 * (kJoints - 1));
    state.counters["keys/s"] =
        benchmark::Counter(keys, benchmark::Counter::kIsIterationInvariantRate);
    std::remove(path.c_str());
    std::remove(pattern);
}
BENCHMARK(BM_ImportEveryFrameKeyed)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
