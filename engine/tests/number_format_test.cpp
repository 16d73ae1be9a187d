// engine/tests/number_format_test.cpp: the config and command number formats, by table and by round trip.
#include "quorvel/number_format.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

namespace quorvel {
namespace {

struct Case {
    std::uint32_t bits;  // exact float, so no case depends on how a literal is rounded
    const char* config;
    const char* action;
};

float from_bits(std::uint32_t bits) { return std::bit_cast<float>(bits); }

// clang-format off
const Case kCases[] = {
    {0x00000000, "0", "0.0"},
    {0x80000000, "-0", "-0.0"},
    {0x3f800000, "1", "1.0"},
    {0xbf000000, "-0.5", "-0.5"},
    {0x42200000, "40", "40.0"},
    {0x42220000, "40.5", "40.5"},
    {0x3dcccccd, "0.1", "0.1"},                           // 0.1f
    {0x3e4ccccd, "0.2", "0.2"},                           // 0.2f
    {0x3d088889, "0.033333335", "0.033333335"},           // 1.0f / 30
    {0x3eaaaaab, "0.33333334", "0.33333334"},
    {0x47f12065, "123456.79", "123456.79"},
    {0x4b800000, "16777216", "16777216.0"},               // 2^24
    {0x33d6bf95, "0.0000001", "1e-7"},                    // 1e-7f
    {0x348637bd, "0.00000025", "2.5e-7"},                 // 2.5e-7f
    {0x3727c5ac, "0.00001", "1e-5"},                      // 1e-5f
    {0xb727c5ac, "-0.00001", "-1e-5"},
    {0x38d1b717, "0.0001", "0.0001"},                     // 1e-4f: the lower threshold itself
    {0x38d1b716, "0.00009999999", "9.999999e-5"},         // the float just below it
    {0x58635fa9, "1000000000000000", "1000000000000000.0"},
    {0x5a0e1bc9, "9999999000000000", "9999999000000000.0"},  // the float just below 1e16f
    {0x5a0e1bca, "10000000000000000", "1e16"},            // 1e16f: the upper threshold itself
    {0x5a0e1bcb, "10000001000000000", "1.0000001e16"},
    {0x5a8e1bca, "20000000000000000", "2e16"},            // 2e16f
    {0x60ad78ec, "100000000000000000000", "1e20"},        // 1e20f
    {0x7f7fffff, "340282350000000000000000000000000000000", "3.4028235e38"},
    {0xff7fffff, "-340282350000000000000000000000000000000", "-3.4028235e38"},
    {0x00800000, "0.000000000000000000000000000000000000011754944", "1.1754944e-38"},  // smallest normal
    {0x007fffff, "0.000000000000000000000000000000000000011754942", "1.1754942e-38"},  // largest denormal
    {0x00000001, "0.000000000000000000000000000000000000000000001", "1e-45"},          // smallest denormal
    {0x80000001, "-0.000000000000000000000000000000000000000000001", "-1e-45"},
    {0x7f800000, "inf", "inf"},
    {0xff800000, "-inf", "-inf"},
    {0x7fc00000, "NaN", "NaN"},
    {0xffc00000, "NaN", "NaN"},                           // negative quiet NaN
    {0x7f800001, "NaN", "NaN"},                           // signalling NaN payload
};
// clang-format on

class FormatTable : public ::testing::TestWithParam<Case> {};

TEST_P(FormatTable, ConfigNumber) {
    EXPECT_EQ(format_config_number(from_bits(GetParam().bits)), GetParam().config);
}

TEST_P(FormatTable, ActionNumber) {
    EXPECT_EQ(format_action_number(from_bits(GetParam().bits)), GetParam().action);
}

std::string case_name(const ::testing::TestParamInfo<Case>& info) {
    char name[16];
    std::snprintf(name, sizeof name, "0x%08x", static_cast<unsigned>(info.param.bits));
    return name;
}

INSTANTIATE_TEST_SUITE_P(NumberFormat, FormatTable, ::testing::ValuesIn(kCases), case_name);

// Every float, written either way, must read back as the very same bits.
void expect_round_trip(float v, const std::string& text) {
    if (std::isnan(v)) {
        EXPECT_EQ(text, "NaN");
        return;
    }
    const float back = std::strtof(text.c_str(), nullptr);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(back), std::bit_cast<std::uint32_t>(v)) << text;
}

TEST(NumberFormat, RandomBitPatternsRoundTrip) {
    std::mt19937 gen(20240611);
    for (int i = 0; i < 200000; ++i) {
        const std::uint32_t bits = gen();
        const float v = from_bits(bits);
        SCOPED_TRACE(bits);

        const std::string config = format_config_number(v);
        expect_round_trip(v, config);
        EXPECT_EQ(config.find('e'), std::string::npos) << config;
        if (std::isfinite(v) && v == std::trunc(v)) {
            EXPECT_EQ(config.find('.'), std::string::npos) << config;
        }

        const std::string action = format_action_number(v);
        expect_round_trip(v, action);
        const float m = std::fabs(v);
        const bool exponent_form = std::isfinite(v) && m != 0.0f && (m < 1e-4f || m >= 1e16f);
        EXPECT_EQ(action.find('e') != std::string::npos, exponent_form) << action;
        if (!exponent_form && std::isfinite(v)) {
            const auto point = action.find('.');
            ASSERT_NE(point, std::string::npos) << action;
            EXPECT_LT(point + 1, action.size()) << action;
        }
    }
}

}  // namespace
}  // namespace quorvel
