// qmf: export and import Movantis animation files on Maya ASCII scenes without
// Maya, by driving the qmf translator module through the headless host.
#include "Args.h"
#include "clips/Printable.h"
#include "Version.h"
#include "fileio/Leftovers.h"

#include <iostream>
#include <new>
#include <string>

namespace {

const char* const kUsage =
    "usage: qmf <command> [options]\n"
    "\n"
    "Commands:\n"
    "  export SCENE.ma OUT.qmf        write the scene's skeleton to a Movantis file\n"
    "  import CLIP.qmf SCENE.ma -o OUT.ma\n"
    "                                 key a Movantis clip onto the scene's joints\n"
    "  identify FILE...               ask the translator whether each file is its own\n"
    "  info FILE [--json]             what a clip holds (or a capture, scene, 3D file)\n"
    "  pack FILE.json OUT.qmf         write a Movantis file from info --json output\n"
    "  convert IN OUT                 convert between formats (clip.qmf -> scene.ma)\n"
    "  convert IN... --out-dir DIR    convert many files, each in a process of its own\n"
    "  view FILE -o PAGE.html         the skeleton and its motion as an HTML page\n"
    "  draw FILE -o SKELETON.svg      the skeleton at one frame as an SVG picture\n"
    "  plot FILE -o CURVES.svg        the channels over time as SVG charts\n"
    "  retarget SOURCE RIG.ma -o OUT  motion onto a rig of other proportions and rest pose\n"
    "\n"
    "Run 'qmf <command> --help' for the options of a command, 'qmf --version'\n"
    "for the version.\n";

const qmf::Command* const kCommands[] = {&qmf::kExportCommand, &qmf::kImportCommand, &qmf::kIdentifyCommand,
                                         &qmf::kInfoCommand, &qmf::kPackCommand, &qmf::kConvertCommand,
                                         &qmf::kViewCommand, &qmf::kDrawCommand, &qmf::kPlotCommand,
                                         &qmf::kRetargetCommand};

const qmf::Command* findCommand(const std::string& name) {
    for (const qmf::Command* c : kCommands)
        if (name == c->name) return c;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << kUsage;
        return 2;
    }
    std::string cmd = argv[1];
    if (cmd == "--version") {
        std::cout << "qmf " << QMF_VERSION << "\n";
        return 0;
    }
    if (cmd == "-h" || cmd == "--help" || cmd == "help") {
        const qmf::Command* c = argc > 2 ? findCommand(argv[2]) : nullptr;
        std::cout << (c ? c->help : kUsage);
        return 0;
    }
    const qmf::Command* command = findCommand(cmd);
    if (!command) {
        std::cerr << "qmf: unknown command '" << qmf::printable(cmd) << "' (see qmf --help)\n";
        return 2;
    }
    // Messages carry names and paths from files and arguments: print them
    // so they cannot drive the terminal or run over one line.
    // An interrupted job removes its temporary files and folders.
    fileio::removeLeftoversOnSignals();
    try {
        return command->run(argc - 2, argv + 2);
    } catch (const qmf::CommandError& e) {
        std::cerr << "qmf: " << qmf::printable(e.what()) << "\n";
    } catch (const std::bad_alloc&) {
        std::cerr << "qmf: out of memory\n";
    } catch (const std::exception& e) {
        std::cerr << "qmf: " << qmf::printable(e.what()) << "\n";
    }
    return 1;
}
