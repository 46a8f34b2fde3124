// qmf identify: the translator's answer for each file.
#include "Args.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <sys/stat.h>

namespace qmf {

namespace {

int cmdIdentify(int argc, char** argv) {
    Args a = parseArgs("identify", argc, argv, {{"--plugin", true}});
    if (a.help) {
        std::cout << kIdentifyCommand.help;
        return 0;
    }
    if (a.positional.empty()) throw CommandError("identify: no files given (see qmf identify --help)");
    auto module = loadTranslator(a.value("--plugin"));
    int failures = 0;
    for (const auto& f : a.positional) {
        struct stat st;
        if (::stat(f.c_str(), &st) != 0) {
            std::cerr << "qmf: " << f << ": " << std::strerror(errno) << "\n";
            ++failures;
            continue;
        }
        if (S_ISDIR(st.st_mode) || !S_ISREG(st.st_mode)) {
            // Anything but a regular file could block the read or never end.
            std::cerr << "qmf: " << f << (S_ISDIR(st.st_mode) ? ": is a folder\n" : ": not a regular file\n");
            ++failures;
            continue;
        }
        MStatus status;
        auto kind = module->identifyFile("qmf", absolute(f), &status);
        const char* what = kind == MPxFileTranslator::kIsMyFileType       ? "is mine"
                           : kind == MPxFileTranslator::kCouldBeMyFileType ? "could be mine"
                                                                             : "not mine";
        std::cout << f << ": " << static_cast<int>(kind) << " (" << what << ")\n";
    }
    return failures ? 1 : 0;
}

}  // namespace

const Command kIdentifyCommand = {
    "identify",
    "usage: qmf identify FILE... [--plugin PATH]\n"
    "\n"
    "Prints the qmf translator's answer for each file: 0 (is mine), 1 (could be\n"
    "mine) or 2 (not mine). A missing file is an error.\n"
    "\n"
    "  --plugin PATH   translator module to load\n",
    cmdIdentify};

}  // namespace qmf
