// Clips made for the Python module: a scene baked, a motion retargeted.
#pragma once

#include "Animation.h"

#include "formats/Error.h"
#include "formats/Options.h"
#include "retarget/Retarget.h"

#include <memory>
#include <string>
#include <vector>

namespace qmfpy {

// The translator module installed with this Python module ("" when none is
// found): beside it in the build tree, in a module tree or the package.
std::string modulePlugin();

// The scene at `scene` baked (FormatError or ClipError with the tool's
// lines); its warning lines are added to warnings.
std::shared_ptr<Animation> bake(const std::string& scene, const qmf::formats::ConvertOptions& options,
                                std::vector<std::string>& warnings);

// Any motion file qmf convert reads, as a clip: a clip opened, anything
// else converted to a private clip as `qmf convert IN CLIP.qmf` makes it.
std::shared_ptr<Animation> readMotion(const std::string& path, const qmf::formats::ConvertOptions& options,
                                      std::vector<std::string>& warnings);

// The motion at `source` retargeted onto the rig at `rig`, pairs given in
// code standing for a map file.
std::shared_ptr<Animation> retarget(const std::string& source, const std::string& rig,
                                    const qmf::retarget::RetargetOptions& options,
                                    const std::vector<std::pair<std::string, std::string>>& pairs,
                                    std::vector<std::string>& warnings);

// The match table qmf retarget --dry-run prints: (source joint, rig joint, how).
struct MatchRow {
    std::string source, rig, how;
};
std::vector<MatchRow> matchJoints(const std::string& source, const std::string& rig,
                                  const qmf::retarget::RetargetOptions& options,
                                  const std::vector<std::pair<std::string, std::string>>& pairs,
                                  std::vector<std::string>& warnings);

}  // namespace qmfpy
