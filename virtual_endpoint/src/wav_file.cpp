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
    std::vector<std::uint8_t> contents;
    const auto formatSize = static_cast<std::uint32_t>(sizeof format);
    const auto dataSize = static_cast<std::uint32_t>(bytes.size());
    PutTag(contents, "RIFF");
    PutLittleEndian(contents, 4 + 8 + formatSize + 8 + dataSize, 4);
    PutTag(contents, "WAVE");
    PutTag(contents, "fmt ");
    PutLittleEndian(contents, formatSize, 4);
    const auto* record = reinterpret_cast<const std::uint8_t*>(&format);
    contents.insert(contents.end(), record, record + formatSize);
    PutTag(contents, "data");
    PutLittleEndian(contents, dataSize, 4);

    contents.insert(contents.end(), bytes.begin(), bytes.end());
    return WriteWholeFile(path, contents);
}

bool WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& contents) {
    // The system's own file calls: they take no lock in this process, so the file can be
    // written as the process ends, whatever the threads ended before left held.
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool whole = WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()),
                                 &written, nullptr) != FALSE &&
                       written == contents.size();
    return CloseHandle(file) != FALSE && whole;
}

}  // namespace virtual_endpoint
