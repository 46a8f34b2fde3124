// One job of moving motion between formats: everything the commands that
// read or write motion can be told, each field with its default. To add an
// option, follow the checklist in docs/architecture.md.
#pragma once

#include "clips/JointNames.h"

#include <cstdint>
#include <string>

namespace qmf::formats {

struct ConvertOptions {
    std::string plugin;           // --plugin PATH: translator module; "" is ../plug-ins/qmfTranslator.so beside the program
    double unitToCm = 1.0;        // --unit: a BVH file's lengths times this are centimetres (Units.h)
    std::string unitName = "cm";  //   the same unit by name
    std::string order = "zxy";    // --order: rotation channels of a BVH file written, as listed
    RenameOptions rename;         // --map FILE, --strip-namespaces: the clip's joints renamed first
    bool rigOnly = false;         // --rig-only: a scene's rig alone, without the clip keyed onto it
    bool replace = false;         // --replace: curves already on the channels an import keys are deleted first
    std::string time;             // --time T: a scene posed at T, in frames of its time unit; "" its current time
    std::string root;             // --root JOINT: only that joint's hierarchy, its ancestors folded in; "" all
    bool resample = false;        // --resample: a clip's keys on the scene's whole frames (a resampled private copy)
    std::string start;            // --start F: the scene frame a clip's frame 0 lands on; "" where import puts it
    std::string frames;           // --frames A:B: the frames read, ends included; "" all (a scene: its playback range)
    uint32_t step = 1;            // --step N: every Nth frame from A; the rate read is the source's over N
    std::string take;             // --take NAME|N: the take of an FBX, glTF or Collada file; "" the first with keys
    double rate = 0;              // --rate R: keys off a regular grid sampled at R fps; 0 the file's rate, else 30
    std::string up;               // --up auto|y|z: a source recorded Z up turned to stand on Y; "" and "y" leave it
    bool volumes = false;         // --volumes: a glTF written with the body volumes as a mesh skinned to the joints
};

// The options as the table of formats names them, for saying which apply where.
enum OptionBit : unsigned {
    kOptPlugin = 1u << 0,
    kOptMap = 1u << 1,
    kOptStripNamespaces = 1u << 2,
    kOptRigOnly = 1u << 3,
    kOptUnit = 1u << 4,
    kOptOrder = 1u << 5,
    kOptFrames = 1u << 6,
    kOptStep = 1u << 7,
    kOptTime = 1u << 8,
    kOptStart = 1u << 9,
    kOptRoot = 1u << 10,
    kOptResample = 1u << 11,
    kOptTake = 1u << 12,
    kOptRate = 1u << 13,
    kOptUp = 1u << 14,
    kOptVolumes = 1u << 15,
};

struct OptionFlag {
    const char* flag;  // "--unit"
    OptionBit bit;
    bool takesValue;
};
// Every option above with its flag, in the order the command lists them.
extern const OptionFlag kOptionFlags[16];

}  // namespace qmf::formats
