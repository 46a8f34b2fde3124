// What the qmf subcommands share: argument parsing, checked inputs and
// outputs, loading the translator module and scenes into the headless host.
#pragma once

#include "Clip.h"

#include "fileio/SafeFile.h"
#include "qmfhost/Loader.h"
#include "qmfhost/MaHost.h"
#include "qmfhost/MaScene.h"

#include <maya/MObject.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace qmf {

// One option a subcommand accepts: "--plugin" takes a value, "--replace" not.
struct Option {
    std::string flag;
    bool takesValue = false;
};

struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;  // flags with a value, by flag: the last one given
    std::map<std::string, std::vector<std::string>> repeated;  // every value of each flag, in order
    std::set<std::string> switches;             // flags without one
    bool help = false;

    std::string value(const std::string& flag) const;  // "" when not given
    std::vector<std::string> all(const std::string& flag) const;  // none when not given
    bool has(const std::string& flag) const { return switches.count(flag) != 0 || values.count(flag) != 0; }
};

// Parses argv after the subcommand name. "--output" is "-o"; "--flag=value"
// works for long flags; "--" ends the flags. An unknown flag or a missing
// value is a CommandError naming the command.
Args parseArgs(const std::string& command, int argc, char** argv, const std::vector<Option>& allowed);
void needPositional(const std::string& command, const Args& a, std::size_t n);

// Inputs are regular files only: a FIFO or device would block or never end.
void requireInput(const std::string& path);
// The output's folder must exist and be writable; the output itself (a
// symlink's target) must be absent or a regular file, and never one of the
// inputs, however spelled.
fileio::Output requireOutput(const std::string& path, const std::vector<std::string>& inputs);

std::string absolute(const std::string& path);
// --plugin PATH, else ../plug-ins/qmfTranslator.so beside this program.
std::string pluginPath(const std::string& chosen);
std::unique_ptr<qmfhost::PluginModule> loadTranslator(const std::string& chosen);

qmfhost::ma::Scene readScene(const std::string& path);
qmfhost::ma::Binding bindScene(const std::string& path, const qmfhost::ma::Scene& scene);

// Joints in the order of the translator's depth-first walk, without
// recursion so a deep hierarchy cannot exhaust the stack.
std::vector<MObject> jointsDepthFirst();
bool hasJointChild(const MObject& node);

// A subcommand: its name, its help text and what runs it.
struct Command {
    const char* name;
    const char* help;
    int (*run)(int argc, char** argv);
};

extern const Command kExportCommand;
extern const Command kImportCommand;
extern const Command kIdentifyCommand;
extern const Command kInfoCommand;
extern const Command kPackCommand;
extern const Command kConvertCommand;
extern const Command kViewCommand;
extern const Command kDrawCommand;
extern const Command kPlotCommand;

}  // namespace qmf
