// What qmf draw and qmf plot share: the motion model of a file turned into
// the plain data the SVG pictures take, and the options both accept.
#pragma once

#include "Args.h"

#include "motion/Motion.h"
#include "svg/Charts.h"
#include "svg/Skeleton.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qmf {

// The options every picture command (and view) takes besides its own: -o,
// and those the table of formats says reading their inputs takes.
std::vector<Option> pictureOptions();

// A frame number from 0 (--frame's value by default), else a CommandError
// naming the command and the flag.
uint32_t frameOption(const std::string& command, const std::string& text, const std::string& flag = "--frame");

// --up's value: the axis drawn vertical, 'y' or 'z'. A Z-up capture says
// nothing of it in a BVH file, so the user tells.
char upOption(const std::string& command, const std::string& text);
// The axis a picture or page shows up: y or z as given, else (auto, or
// nothing given) what the rest pose says; one line when it is not Y or
// when auto was asked. A scene keeps Y unless auto is asked.
void settleUp(motion::Motion& m, char up, std::ostream& warn);

// The reading options the table names, from the command line (--plugin,
// --unit, --frames, --step); refusals name the command.
motion::LoadOptions readingOptions(const std::string& command, const Args& a);

// Reads FILE with those and --up; warnings go to stderr.
// The motion in FILE as the reading flags choose it; with `only`, that frame
// of the selection alone.
motion::Motion loadForPicture(const std::string& command, const Args& a, const std::string& in,
                              std::optional<uint32_t> only = std::nullopt);

// The skeleton at a frame (which must be held), in scene space.
svg::Pose poseAt(const motion::Motion& m, uint32_t frame);

// Charts of the named joints in the order given (every joint of a name), or
// when none is named of every joint with children, as import keys rotate
// channels on those; the translated root also gets a chart of its translate
// channels. An unknown name is a CommandError.
svg::ChartSet chartsOf(const std::string& command, const motion::Motion& m, const std::vector<std::string>& names);

// The last part of a path, for titles: the folder says nothing in a picture.
std::string baseName(const std::string& path);

// Replaces target with text atomically.
void writePicture(const fileio::Output& target, const std::string& text);

}  // namespace qmf
