#include "GltfContainer.h"

#include "formats/Error.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace qmf::formats::gltf {

namespace {

constexpr uint32_t kMagic = 0x46546C67;      // "glTF"
constexpr uint32_t kJsonChunk = 0x4E4F534A;  // "JSON"
constexpr uint32_t kBinChunk = 0x004E4942;   // "BIN\0"
constexpr char kZeros[4] = {0, 0, 0, 0};

std::size_t padded(std::size_t n) { return (n + 3) & ~std::size_t(3); }

void put32(std::string& s, uint32_t v) {
    const char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
    s.append(b, 4);
}

// Base64 of a stream of pieces, three bytes carried between them.
class Base64 {
public:
    explicit Base64(std::string& out) : out_(out) {}
    void add(const char* data, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            held_[n_++] = static_cast<unsigned char>(data[i]);
            if (n_ == 3) flush();
        }
    }
    void finish() {
        if (n_ == 0) return;
        const std::size_t had = n_;
        while (n_ < 3) held_[n_++] = 0;
        flush();
        for (std::size_t i = had + 1; i < 4; ++i) out_[out_.size() - (4 - i)] = '=';
    }

private:
    void flush() {
        static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        const uint32_t v = (uint32_t(held_[0]) << 16) | (uint32_t(held_[1]) << 8) | held_[2];
        const char four[4] = {kDigits[v >> 18], kDigits[(v >> 12) & 63], kDigits[(v >> 6) & 63], kDigits[v & 63]};
        out_.append(four, 4);
        n_ = 0;
    }
    std::string& out_;
    unsigned char held_[3] = {0, 0, 0};
    std::size_t n_ = 0;
};

}  // namespace

std::size_t Buffer::add(const void* data, std::size_t size, int target) {
    views_.push_back({static_cast<const char*>(data), size, size_, target});
    size_ += padded(size);
    return views_.size() - 1;
}

nlohmann::json Buffer::views() const {
    nlohmann::json v = nlohmann::json::array();
    for (const View& view : views_) {
        v.push_back({{"buffer", 0}, {"byteOffset", view.offset}, {"byteLength", view.size}});
        if (view.target) v.back()["target"] = view.target;
    }
    return v;
}

template <class Sink>
void Buffer::each(Sink&& sink) const {
    for (const View& view : views_) {
        sink(view.data, view.size);
        if (padded(view.size) != view.size) sink(kZeros, padded(view.size) - view.size);
    }
}

void writeAsset(nlohmann::json& json, const Buffer& buffer, bool text, fileio::TempFile& file) {
    if (buffer.size() > 0) {
        json["buffers"] = nlohmann::json::array({{{"byteLength", buffer.size()}}});
        json["bufferViews"] = buffer.views();
    }
    if (text) {
        if (buffer.size() > 0) {
            std::string uri = "data:application/octet-stream;base64,";
            uri.reserve(uri.size() + buffer.size() / 3 * 4 + 4);
            Base64 b64(uri);
            buffer.each([&](const char* d, std::size_t n) { b64.add(d, n); });
            b64.finish();
            json["buffers"][0]["uri"] = std::move(uri);
        }
        file.write(json.dump() + "\n");
        return;
    }
    std::string head = json.dump();
    head.append(padded(head.size()) - head.size(), ' ');
    const uint64_t total = 12 + 8 + head.size() + (buffer.size() > 0 ? 8 + buffer.size() : 0);
    if (total > UINT32_MAX) throw FormatError("the motion is too long for a .glb file (4 GB at most); write .gltf or fewer frames");
    std::string prefix;
    put32(prefix, kMagic);
    put32(prefix, 2);
    put32(prefix, static_cast<uint32_t>(total));
    put32(prefix, static_cast<uint32_t>(head.size()));
    put32(prefix, kJsonChunk);
    file.write(prefix);
    file.write(head);
    if (buffer.size() == 0) return;
    std::string binHead;
    put32(binHead, static_cast<uint32_t>(buffer.size()));
    put32(binHead, kBinChunk);
    file.write(binHead);
    buffer.each([&](const char* d, std::size_t n) { file.write(d, n); });
}

}  // namespace qmf::formats::gltf
