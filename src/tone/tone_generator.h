#pragma once

#include <cstdint>

// Synthesises a continuous 500 Hz full-scale sine as interleaved little-endian integer PCM.
// A plain record: the stream driver sets the shape once the endpoint is initialised, and the
// running frame counter carries the phase from one buffer to the next.
struct ToneGenerator {
    std::uint32_t sampleRate;
    std::uint32_t channelCount;
    std::uint32_t bitsPerSample;  // container bits, never the valid-bits field
    std::uint64_t framesGenerated;

    // Writes frameCount frames into data (channelCount samples of bitsPerSample / 8 bytes each,
    // no gaps) and stores 0 through flags when it is not null. Always returns 0 (S_OK).
    // Widths other than 16, 24 and 32 bits are written as zero bytes.
    std::int32_t FillBuffer(std::uint32_t frameCount, std::uint8_t* data, std::uint32_t* flags);
};
