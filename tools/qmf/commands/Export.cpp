// qmf export: the scene's skeleton, posed at the current time, through the
// translator's writer into a new Movantis file.
#include "Args.h"
#include "Batch.h"
#include "formats/Export.h"

#include <iostream>

namespace qmf {

namespace {

// With --out-dir: each scene to OUTDIR/STEM.qmf in a process of its own.
int exportBatch(const Args& a) {
    BatchPlan plan;
    plan.command = "export";
    plan.verb = "exported";
    plan.outDir = a.value("--out-dir");
    plan.jobs = parseJobs("export", a.value("--jobs"));
    for (const std::string& in : a.positional) plan.items.push_back({in, batchOutput(plan.outDir, in, "qmf")});
    for (const char* flag : {"--plugin", "--time"})
        if (a.has(flag)) plan.childOptions.insert(plan.childOptions.end(), {flag, a.value(flag)});
    prepareBatch(plan);
    return runBatch(plan);
}

int cmdExport(int argc, char** argv) {
    Args a = parseArgs("export", argc, argv,
                       {{"--plugin", true}, {"--time", true}, {"--out-dir", true}, {"--jobs", true}});
    if (a.help) {
        std::cout << kExportCommand.help;
        return 0;
    }
    if (a.has("--out-dir")) return exportBatch(a);
    if (a.has("--jobs")) throw CommandError("export: --jobs needs --out-dir");
    needPositional("export", a, 2);
    const std::string& scenePath = a.positional[0];
    const std::string& out = a.positional[1];
    formats::ConvertOptions options;
    options.plugin = a.value("--plugin");
    options.time = a.value("--time");
    const std::size_t joints = formats::exportScene(scenePath, out, options, std::cerr);
    std::cout << "exported " << joints << " joint" << (joints == 1 ? "" : "s") << " from " << scenePath << " to " << out
              << "\n";
    return 0;
}

}  // namespace

const Command kExportCommand = {
    "export",
    "usage: qmf export SCENE.ma OUT.qmf [--time T] [--plugin PATH]\n"
    "       qmf export SCENE.ma... --out-dir DIR [--jobs N] [--time T] [--plugin PATH]\n"
    "\n"
    "Reads a Maya ASCII scene into the headless host, loads the qmf translator\n"
    "module and calls its writer: the scene's joints become the skeleton of a new\n"
    "Movantis animation saved at OUT.qmf. OUT.qmf is replaced only on success.\n"
    "\n"
    "The skeleton is the pose at the scene's current time (:time1, else the start\n"
    "of playback): channels driven by animation curves take the curves' values.\n"
    "A channel driven by anything else keeps its stored value, with one warning\n"
    "line on stderr per such channel.\n"
    "\n"
    "  --time T        pose at time T instead, in the scene's time unit (frames)\n"
    "  --plugin PATH   translator module to load (default: ../plug-ins/qmfTranslator.so\n"
    "                  beside this program)\n"
    "\n"
    "With --out-dir, every SCENE.ma is exported to DIR/SCENE.qmf (DIR is created\n"
    "if missing), each by a qmf process of its own, up to N at once (--jobs,\n"
    "default one per core). Failed files are listed with their reasons at the\n"
    "end and make the exit status 1; nothing is written for them. Two scenes of\n"
    "one name, or an output that is an input, are refused before anything runs.\n",
    cmdExport};

}  // namespace qmf
