// The bytes of a glTF asset: its JSON and one binary buffer made of views,
// put in a .glb container or a .gltf text with the buffer inline.
#pragma once

#include "fileio/SafeFile.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <vector>

namespace qmf::formats::gltf {

// The buffer as the views it is made of, each padded to 4 bytes; the data
// stays where its owner keeps it until write.
class Buffer {
public:
    // Adds a view of size bytes at data and returns its index in bufferViews;
    // target is the GPU buffer it is for (34962 vertices, 34963 indices), 0 none.
    std::size_t add(const void* data, std::size_t size, int target = 0);
    std::size_t size() const { return size_; }
    // bufferViews of the JSON.
    nlohmann::json views() const;
    // Every view's bytes with the padding between them.
    template <class Sink>
    void each(Sink&& sink) const;

private:
    struct View {
        const char* data;
        std::size_t size, offset;
        int target;
    };
    std::vector<View> views_;
    std::size_t size_ = 0;
};

// Writes json (its "buffers" set here) and buffer to file: a binary
// container, or with text, JSON with the buffer as a base64 data URI.
void writeAsset(nlohmann::json& json, const Buffer& buffer, bool text, fileio::TempFile& file);

}  // namespace qmf::formats::gltf
