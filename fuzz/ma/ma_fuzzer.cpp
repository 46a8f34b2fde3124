// Reads arbitrary bytes as a Maya ASCII scene, loads what is accepted into
// the headless host and writes it back, as `qmf import` does around the
// translator. A refusal is a ParseError; anything else escaping is a fault.
#include "qmfhost/MaHost.h"
#include "qmfhost/MaScene.h"
#include "qmfhost/MaWriter.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    qmfhost::ma::Scene scene;
    try {
        scene = qmfhost::ma::readText(text);
    } catch (const qmfhost::ma::ParseError&) {
        return 0;
    }
    try {
        qmfhost::ma::Binding binding = qmfhost::ma::loadIntoHost(scene);
        qmfhost::ma::Edits edits = qmfhost::ma::collectEdits(scene, binding);
        (void)qmfhost::ma::writeScene(scene, edits);
    } catch (const qmfhost::ma::ParseError&) {
    }
    return 0;
}
