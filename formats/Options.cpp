#include "formats/Options.h"

namespace qmf::formats {

// In the order a refusal names the first one that does not apply.
const OptionFlag kOptionFlags[16] = {
    {"--plugin", kOptPlugin, true},     {"--map", kOptMap, true},       {"--strip-namespaces", kOptStripNamespaces, false},
    {"--rig-only", kOptRigOnly, false}, {"--unit", kOptUnit, true},     {"--order", kOptOrder, true},
    {"--frames", kOptFrames, true},     {"--step", kOptStep, true},     {"--time", kOptTime, true},
    {"--start", kOptStart, true},       {"--root", kOptRoot, true},     {"--resample", kOptResample, false},
    {"--take", kOptTake, true},         {"--rate", kOptRate, true},     {"--up", kOptUp, true},
    {"--volumes", kOptVolumes, false},
};

}  // namespace qmf::formats
