// What the qmf subcommands share: their table entry, argument parsing and
// the command's own error. The work itself is in the libraries below.
#pragma once

#include "formats/Session.h"

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace qmf {

// A refusal of the command line, one line for "qmf: ". The libraries' own
// errors (ClipError, FormatError, bvh::Error) reach main as they are.
struct CommandError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

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
// --step's value: a whole number of frames from 1, else a CommandError naming the command.
uint32_t stepOption(const std::string& command, const std::string& text);
// --rate's value: frames per second above 0 and at most 100000, else a CommandError.
double rateOption(const std::string& command, const std::string& text);

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
extern const Command kRetargetCommand;

}  // namespace qmf
