// The library's parse, in the reader's child process: the scene turned into
// an Imported and its bytes written to the parent's pipe.
#include "ReaderModule.h"

#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/scene.h>

#include <new>
#include <string>

using namespace qmf::formats::assimp;

extern "C" __attribute__((visibility("default"))) void qmf_assimp_answer(int fd, const char* path, const SceneOptions* o) {
    char kind = 'E';
    std::string answer;
    try {
        Assimp::Importer importer;
        importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
        const aiScene* scene = importer.ReadFile(path, 0);
        if (!scene) {
            answer = importer.GetErrorString();
            if (answer.find("bad_alloc") != std::string::npos) answer = "memory";
        } else {
            const Imported m = fromScene(*scene, *o);
            importer.FreeScene();
            writeAnswerHead(fd, 'M', encodedSize(m));
            encodeTo(m, [&](const char* d, std::size_t n) { writeAll(fd, d, n); });
            return;
        }
    } catch (const ImportedError& e) {
        kind = 'R';
        answer = e.what;
    } catch (const std::bad_alloc&) {
        answer = "memory";
    } catch (const std::exception& e) {
        answer = e.what();
    }
    writeAnswer(fd, kind, answer);
}
