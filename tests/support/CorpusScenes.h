// The Maya ASCII scenes of the shared corpus (QMF_CORPUS_DIR/ma), sorted;
// empty when the folder is absent, so tests can skip with a message.
#ifndef QMF_TESTS_SUPPORT_CORPUSSCENES_H
#define QMF_TESTS_SUPPORT_CORPUSSCENES_H

#include <algorithm>
#include <filesystem>
#include <vector>

inline std::vector<std::filesystem::path> corpusScenes()
{
    std::vector<std::filesystem::path> out;
    const std::filesystem::path dir = std::filesystem::path(QMF_CORPUS_DIR) / "ma";
    if (!std::filesystem::is_directory(dir))
        return out;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().extension() == ".ma")
            out.push_back(entry.path());
    std::sort(out.begin(), out.end());
    return out;
}

#endif
