// The length units options name, with their factors to centimetres.
#include "formats/Error.h"
#include "formats/Units.h"

namespace qmf::formats {

namespace {

// The same factors the scene reader uses for Maya's linear units.
// Maya has no decimetre: a scene of a decimetre file is written in centimetres.
const LengthUnit kUnits[] = {{"cm", 1.0, "centimeter"}, {"mm", 0.1, "millimeter"}, {"dm", 10.0, nullptr},
                             {"m", 100.0, "meter"},     {"in", 2.54, "inch"},       {"ft", 30.48, "foot"}};

}  // namespace

const LengthUnit* lengthUnits(std::size_t& count) {
    count = sizeof kUnits / sizeof kUnits[0];
    return kUnits;
}

const LengthUnit& lengthUnit(const std::string& name) {
    for (const LengthUnit& u : kUnits)
        if (name == u.name) return u;
    throw FormatError("--unit must be cm, mm, dm, m, in or ft, not '" + name + "'");
}

}  // namespace qmf::formats
