#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "endpoint_settings.h"

namespace {

using virtual_endpoint::Pacing;

// Sets an environment variable of this process for the life of a test; null leaves it unset.
class ScopedVariable {
  public:
    ScopedVariable(const std::string& name, const char* value) : name_(name) {
        _putenv((name_ + "=" + (value != nullptr ? value : "")).c_str());
    }
    ~ScopedVariable() { _putenv((name_ + "=").c_str()); }

  private:
    std::string name_;
};

struct LengthCase {
    const char* seconds;
    const char* pacing;
    double expectedSeconds;
    Pacing expectedPacing;
    const char* errorNames;  // the variable an error must name; empty: no error
};

class StreamLengthSettings : public testing::TestWithParam<LengthCase> {};

TEST_P(StreamLengthSettings, AreReadOrRefusedWithTheVariableNamed) {
    const LengthCase& row = GetParam();
    const ScopedVariable seconds("EXCLUSIVE_TONE_ENDPOINT_SECONDS", row.seconds);
    const ScopedVariable pacing("EXCLUSIVE_TONE_ENDPOINT_PACING", row.pacing);
    const endpoint_dll::SettingsReading reading = endpoint_dll::ReadEndpointSettings();
    if (*row.errorNames != '\0') {
        EXPECT_NE(reading.error.find(row.errorNames), std::string::npos) << reading.error;
        return;
    }
    EXPECT_EQ(reading.error, "");
    EXPECT_EQ(reading.settings.length.seconds, row.expectedSeconds);
    EXPECT_EQ(reading.settings.length.pacing, row.expectedPacing);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StreamLengthSettings,
    testing::Values(LengthCase{nullptr, nullptr, 5.0, Pacing::kRealTime, ""},
                    LengthCase{"0.25", "fast", 0.25, Pacing::kOnDemand, ""},
                    LengthCase{"2", "real-time", 2.0, Pacing::kRealTime, ""},
                    LengthCase{"0", nullptr, 0, Pacing::kRealTime, "_SECONDS"},
                    LengthCase{"-1", nullptr, 0, Pacing::kRealTime, "_SECONDS"},
                    LengthCase{"1s", nullptr, 0, Pacing::kRealTime, "_SECONDS"},
                    LengthCase{"1e9", nullptr, 0, Pacing::kRealTime, "_SECONDS"},
                    LengthCase{"nan", nullptr, 0, Pacing::kRealTime, "_SECONDS"},
                    LengthCase{nullptr, "slow", 0, Pacing::kRealTime, "_PACING"},
                    LengthCase{nullptr, "Fast", 0, Pacing::kRealTime, "_PACING"}));

TEST(EndpointSettings, NameTheProfileAndTheOutputFiles) {
    const ScopedVariable profile("EXCLUSIVE_TONE_ENDPOINT_PROFILE", "busy");
    const ScopedVariable wav("EXCLUSIVE_TONE_ENDPOINT_WAV", "Z:\\tmp\\tone.wav");
    const ScopedVariable log("EXCLUSIVE_TONE_ENDPOINT_LOG", "Z:\\tmp\\calls.log");
    const endpoint_dll::EndpointSettings settings = endpoint_dll::ReadEndpointSettings().settings;
    EXPECT_EQ(settings.profile, "busy");
    EXPECT_EQ(settings.wavPath, "Z:\\tmp\\tone.wav");
    EXPECT_EQ(settings.logPath, "Z:\\tmp\\calls.log");
}

}  // namespace
