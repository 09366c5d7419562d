#pragma once

#include <cstdint>
#include <vector>

// A second tone generator for checking what the player delivers, written from the tone's
// definition and sharing no code with ToneGenerator: the phase of frame n is
// double(n) * 1000 * pi / rate with each operation rounded to double, the sample is the
// correctly rounded Sine of it times 2^(bits - 1) - 1, rounded half to even, and every channel
// carries the same little-endian code. Plain loops, chosen for clarity over speed.
namespace reference_tone {

// The phase of a frame in radians, each double operation rounded in turn, left to right.
double Phase(std::uint64_t frame, std::uint32_t rate);

// The code of a sample of 16, 24 or 32 bits: sine * scale rounded half to even.
std::int32_t Code(double sine, std::uint32_t bits);

// Appends one frame: the code's low bits / 8 bytes, least significant first, per channel.
void AppendFrame(std::int32_t code, std::uint32_t bits, std::uint32_t channels,
                 std::vector<std::uint8_t>& out);

// The tone of one shape (16, 24 or 32 bits) from a given frame on.
class ReferenceTone {
  public:
    ReferenceTone(std::uint32_t rate, std::uint32_t channels, std::uint32_t bits,
                  std::uint64_t firstFrame = 0);

    // Replaces out with the bytes of the next frameCount frames.
    void Next(std::uint32_t frameCount, std::vector<std::uint8_t>& out);

    std::uint64_t nextFrame() const { return nextFrame_; }

  private:
    std::uint32_t rate_;
    std::uint32_t channels_;
    std::uint32_t bits_;
    std::uint64_t nextFrame_;
};

}  // namespace reference_tone
