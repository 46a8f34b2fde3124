// The translator's read into the host alone: loads RIG.ma into the headless
// host (not timed), then times the module's reader on CLIP.qmf. Prints the
// CPU seconds of the read and the keys it made.
//   read_into_host CLIP.qmf RIG.ma
#include <qmfhost/Loader.h>
#include <qmfhost/MaHost.h>
#include <qmfhost/MaScene.h>
#include <qmfhost/Scene.h>

#include <maya/MFnAnimCurve.h>

#include <cstdio>
#include <exception>
#include <string>
#include <sys/resource.h>

namespace {
double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: read_into_host CLIP.qmf RIG.ma\n");
        return 2;
    }
    try {
        qmfhost::ma::Scene scene = qmfhost::ma::readFile(argv[2]);
        qmfhost::ma::loadIntoHost(scene, qmfhost::ma::SceneKeys::HandedOver);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "read_into_host: %s: %s\n", argv[2], e.what());
        return 1;
    }
    qmfhost::PluginModule module;
    if (!module.load(QMF_TRANSLATOR_MODULE)) {
        std::fprintf(stderr, "read_into_host: %s\n", module.lastError().c_str());
        return 1;
    }
    const double t0 = cpuSeconds();
    const bool ok = static_cast<bool>(module.read("qmf", argv[1]));
    const double t1 = cpuSeconds();
    if (!ok) {
        std::fprintf(stderr, "read_into_host: the translator could not read %s\n", argv[1]);
        return 1;
    }
    std::size_t keys = 0;
    for (const MObject& n : qmfhost::allNodes())
        if (qmfhost::isAnimCurve(n)) keys += MFnAnimCurve(n).numKeys();
    std::printf("read into host: %zu keys, %.3f s CPU\n", keys, t1 - t0);
    return 0;
}
