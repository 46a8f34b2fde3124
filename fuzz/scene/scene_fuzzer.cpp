// The part of reading FBX, glTF and Collada that is qmf's own, from the
// library's scene to what is handed on, on scenes made from the input.
#include "SceneFromBytes.h"

#include "formats/assimp/AssimpScene.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace qmf::formats::assimp;
    scenefuzz::Options fo;
    const std::unique_ptr<aiScene> scene = scenefuzz::sceneFromBytes(data, size, fo);
    SceneOptions o;
    o.kind = static_cast<Kind>(fo.kind);
    o.take = fo.take;
    o.rate = fo.rate;
    o.maxValues = uint64_t(1) << 18;
    try {
        const Imported m = fromScene(*scene, o);
        const Imported back = decode(encode(m));
        if (back.joints.size() != m.joints.size() || back.rotations.size() != m.rotations.size()) std::abort();
        for (std::size_t j = 1; j < m.joints.size(); ++j)
            if (m.joints[j].parent < 0 || m.joints[j].parent >= static_cast<int32_t>(j)) std::abort();
    } catch (const ImportedError&) {
    }
    return 0;
}
