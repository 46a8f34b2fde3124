// A scene baked into a clip for the Python module.
#pragma once

#include "Animation.h"

#include "formats/Error.h"
#include "formats/Options.h"

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

}  // namespace qmfpy
