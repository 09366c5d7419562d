#include "tone_tables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

namespace {

double FromBits(std::uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

bool ReadPair(const char* line, SinePair& pair) {
    std::istringstream fields(line);
    std::uint64_t argument = 0;
    std::uint64_t sine = 0;
    if (!(fields >> std::hex >> argument >> sine)) return false;
    pair = SinePair{FromBits(argument), FromBits(sine)};
    return true;
}

bool IsWindow(const char* line) { return std::strncmp(line, "window ", 7) == 0; }

}  // namespace

std::vector<SinePair> ReadSinePairs(const EmbeddedLines& table) {
    std::vector<SinePair> pairs;
    for (std::size_t i = 0; i < table.count; ++i) {
        if (IsWindow(table.lines[i])) continue;
        SinePair pair{};
        EXPECT_TRUE(ReadPair(table.lines[i], pair)) << table.lines[i];
        pairs.push_back(pair);
    }
    return pairs;
}

std::vector<ToneWindow> ReadToneWindows(const EmbeddedLines& table) {
    std::vector<ToneWindow> windows;
    for (std::size_t i = 0; i < table.count; ++i) {
        std::istringstream fields(table.lines[i] + 7);
        ToneWindow window{};
        std::size_t count = 0;
        if (!IsWindow(table.lines[i]) || !(fields >> window.rate >> window.first >> count) ||
            i + count >= table.count) {
            ADD_FAILURE() << "not a window: " << table.lines[i];
            return windows;
        }
        window.frames.resize(count);
        for (SinePair& pair : window.frames) {
            EXPECT_TRUE(ReadPair(table.lines[++i], pair)) << table.lines[i];
        }
        windows.push_back(window);
    }
    return windows;
}

std::vector<FillDigest> ReadFillDigests(const EmbeddedLines& table) {
    std::vector<FillDigest> digests;
    for (std::size_t i = 0; i < table.count; ++i) {
        std::istringstream fields(table.lines[i]);
        FillDigest digest{};
        fields >> digest.rate >> digest.channels >> digest.bits >> digest.first >> digest.frames >>
            std::hex >> digest.digest;
        EXPECT_TRUE(fields) << table.lines[i];
        digests.push_back(digest);
    }
    return digests;
}
