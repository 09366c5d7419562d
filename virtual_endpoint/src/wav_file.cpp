#include <cstdio>
#include <cstring>

#include "virtual_endpoint/virtual_endpoint.h"

namespace virtual_endpoint {
namespace {

void PutLittleEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void PutTag(std::vector<std::uint8_t>& out, const char* tag) {
    out.insert(out.end(), tag, tag + 4);
}

}  // namespace

bool WriteWavFile(const std::string& path, const WAVEFORMATEXTENSIBLE& format,
                  const std::vector<std::uint8_t>& bytes) {
    // RIFF/WAVE with the 40-byte extensible format record as the fmt chunk.
    std::vector<std::uint8_t> header;
    const auto formatSize = static_cast<std::uint32_t>(sizeof format);
    const auto dataSize = static_cast<std::uint32_t>(bytes.size());
    PutTag(header, "RIFF");
    PutLittleEndian(header, 4 + 8 + formatSize + 8 + dataSize, 4);
    PutTag(header, "WAVE");
    PutTag(header, "fmt ");
    PutLittleEndian(header, formatSize, 4);
    const auto* record = reinterpret_cast<const std::uint8_t*>(&format);
    header.insert(header.end(), record, record + formatSize);
    PutTag(header, "data");
    PutLittleEndian(header, dataSize, 4);

    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(header.data(), 1, header.size(), file) == header.size() &&
                         std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace virtual_endpoint
