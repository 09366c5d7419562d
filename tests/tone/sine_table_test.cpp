// Sine against the reference tables: every entry bit for bit, NaN where the sine is NaN.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <iomanip>
#include <sstream>
#include <string>

#include "tone/sine.h"
#include "tone_tables.h"

namespace {

std::string Describe(double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    std::ostringstream text;
    text << std::hex << std::setw(16) << std::setfill('0') << bits << " (" << std::hexfloat << value
         << ")";
    return text.str();
}

bool SameDouble(double a, double b) {
    return std::isnan(a) ? std::isnan(b) : std::memcmp(&a, &b, sizeof a) == 0;
}

struct Table {
    const char* name;
    const EmbeddedLines* lines;
};

void PrintTo(const Table& table, std::ostream* out) { *out << table.name; }

class SineTable : public testing::TestWithParam<Table> {};

TEST_P(SineTable, SineIsTheCorrectlyRoundedValueOfEveryEntry) {
    const std::vector<SinePair> pairs = ReadSinePairs(*GetParam().lines);
    ASSERT_GT(pairs.size(), 100u);
    std::size_t wrong = 0;
    for (const SinePair& pair : pairs) {
        const double actual = Sine(pair.argument);
        if (!SameDouble(pair.sine, actual) && ++wrong <= 10) {
            ADD_FAILURE() << "Sine(" << Describe(pair.argument) << ") is " << Describe(actual)
                          << ", not " << Describe(pair.sine);
        }
    }
    EXPECT_EQ(wrong, 0u) << "wrong sines of " << pairs.size();
}

INSTANTIATE_TEST_SUITE_P(
    Tables, SineTable,
    testing::Values(Table{"binades", &kBinadesTable}, Table{"tone_windows", &kToneWindowsTable},
                    Table{"midpoints", &kMidpointsTable}, Table{"specials", &kSpecialsTable},
                    Table{"near_bound", &kNearBoundTable},
                    Table{"step_multiples", &kStepMultiplesTable}),
    [](const testing::TestParamInfo<Table>& param) { return std::string(param.param.name); });

}  // namespace
