// Many inputs into one output folder: `qmf convert *.bvh --out-dir clips/`.
// Each file runs as its own `qmf` process with the single-file command line,
// so a file that crashes the tool fails alone.
#pragma once

#include <string>
#include <vector>

namespace qmf {

struct BatchItem {
    std::string input;   // as given
    std::string output;  // the out folder, the input's stem and the target's extension
};

struct BatchPlan {
    std::string command;                  // "convert" or "export": what each child runs
    std::string verb;                     // "converted" or "exported", for the summary
    std::string outDir;
    std::vector<BatchItem> items;
    std::vector<std::string> childOptions;  // flags (and values) passed to every child
    unsigned jobs = 1;
};

// --jobs N: a whole number from 1 to kMaxJobs; "" means one per core we may run on.
constexpr unsigned kMaxJobs = 256;
unsigned parseJobs(const std::string& command, const std::string& text);

// "dir/walk.bvh" -> OUTDIR/walk.EXT: the name without its last extension.
std::string batchOutput(const std::string& outDir, const std::string& input, const std::string& extension);

// Everything refused before anything runs, as one line (CommandError): two
// inputs that would write one output, an output that is one of the inputs,
// an --out-dir that is not a folder or cannot be made. Creates the folder
// (its last component only) when it is missing.
void prepareBatch(const BatchPlan& plan);

// Runs the plan, prints the summary and returns the exit status (1 when a
// file failed). Interrupted by SIGINT, SIGTERM or SIGHUP, it stops the
// running files, removes what they left and ends by that signal.
int runBatch(const BatchPlan& plan);

}  // namespace qmf
