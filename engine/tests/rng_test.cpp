// engine/tests/rng_test.cpp: the generator and its closed-range sampling against known-answer vectors.
#include <bit>
#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.hpp"
#include "rng.hpp"

namespace quorvel {
namespace {

// Known answers of the same generator and seeding, recorded elsewhere.
struct WordVector {
    std::uint64_t seed;
    std::vector<std::uint32_t> words;  // the first 20 outputs: past the first 16-word block
};
const WordVector kWords[] = {
    {0ull, {3442241407u, 3140108210u, 2384947579u, 3321986196u, 3476097558u, 111001858u, 2883974864u, 2508944925u, 3739319057u, 1126014292u, 527549474u, 3315658513u, 302217491u, 939296079u, 3388957127u, 3408973338u, 2651684780u, 3218384046u, 2276997204u, 4161555939u}},
    {1ull, {3543144545u, 4184349284u, 3423430986u, 2968834341u, 843631066u, 1838137690u, 929310163u, 754136343u, 3309139028u, 1093291490u, 2224362811u, 4134347457u, 3401895916u, 1669057960u, 4283878343u, 3043020134u, 481538982u, 2234859292u, 669354218u, 1655708072u}},
    {42ull, {572990626u, 2261546851u, 1068323197u, 2330987027u, 3729863889u, 2733596785u, 4252381362u, 1743334776u, 4161904618u, 147501279u, 2651816360u, 1782226083u, 1493727483u, 3167213800u, 797882167u, 3647507867u, 2703000414u, 563838535u, 2059024926u, 13967647u}},
    {18446744073709551615ull, {775774136u, 262641736u, 1091716766u, 171143348u, 1707480664u, 312753519u, 1313939515u, 1560817553u, 3495174055u, 823411922u, 3554383168u, 2399843206u, 1211917465u, 3532911656u, 1761240326u, 618776519u, 2347140220u, 1554337254u, 1723102653u, 618380624u}},
};

struct SampleVector {
    std::uint64_t seed;
    float jitter;                     // samples over [-jitter, +jitter]
    std::vector<std::uint32_t> bits;  // the first 8 samples' bit patterns
};
const SampleVector kSamples[] = {
    {0ull, 0.5f, {0x3e9a58e0u, 0x3e6ca8fcu, 0x3d627690u, 0x3e8c02fcu, 0x3e9e6218u, 0xbef2c480u, 0x3e2f97dcu, 0x3dac5bb8u}},
    {0ull, 1.0f, {0x3f1a58e0u, 0x3eeca8fcu, 0x3de27690u, 0x3f0c02fcu, 0x3f1e6218u, 0xbf72c480u, 0x3eaf97dcu, 0x3e2c5bb8u}},
    {0ull, 0.0f, {0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u}},
    {1ull, 0.5f, {0x3ea66034u, 0x3ef2d038u, 0x3e981ad4u, 0x3e43d344u, 0xbe9b6e6fu, 0xbd9381f8u, 0xbe9137b7u, 0xbea61998u}},
    {1ull, 1.0f, {0x3f266034u, 0x3f72d038u, 0x3f181ad4u, 0x3ec3d344u, 0xbf1b6e6fu, 0xbe1381f8u, 0xbf1137b7u, 0xbf261998u}},
    {1ull, 0.0f, {0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u}},
    {42ull, 0.5f, {0xbebbb1b8u, 0x3cd98ee0u, 0xbe80a55fu, 0x3d2f00b0u, 0x3ebca26cu, 0x3e0bbd84u, 0x3efaec64u, 0xbdc0b698u}},
    {42ull, 1.0f, {0xbf3bb1b8u, 0x3d598ee0u, 0xbf00a55fu, 0x3daf00b0u, 0x3f3ca26cu, 0x3e8bbd84u, 0x3f7aec64u, 0xbe40b698u}},
    {42ull, 0.0f, {0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u}},
    {18446744073709551615ull, 0.5f, {0xbea38544u, 0xbee0b0d0u, 0xbe7bb6e6u, 0xbeeb9920u, 0xbdd1cf48u, 0xbedab788u, 0xbe46bb7eu, 0xbe0bdf46u}},
    {18446744073709551615ull, 1.0f, {0xbf238544u, 0xbf60b0d0u, 0xbefbb6e6u, 0xbf6b9920u, 0xbe51cf48u, 0xbf5ab788u, 0xbec6bb7eu, 0xbe8bdf46u}},
    {18446744073709551615ull, 0.0f, {0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u}},
};

TEST(Rng, WordsMatchKnownAnswers) {
    for (const WordVector& v : kWords) {
        Rng rng = Rng::from_u64(v.seed);
        for (std::uint32_t expected : v.words) EXPECT_EQ(rng.next_u32(), expected) << "seed " << v.seed;
    }
}

TEST(UniformClosedF32, SamplesMatchKnownAnswers) {
    for (const SampleVector& v : kSamples) {
        Rng rng = Rng::from_u64(v.seed);
        const UniformClosedF32 dist(-v.jitter, v.jitter);
        for (std::uint32_t expected : v.bits) {
            EXPECT_EQ(std::bit_cast<std::uint32_t>(dist.sample(rng)), expected) << v.seed << " " << v.jitter;
        }
    }
}

// The scale is the largest for which the largest fraction still lands on or
// below high: one representable step more would overshoot.
TEST(UniformClosedF32, ScaleIsTheLargestThatStaysInRange) {
    constexpr float kMaxFraction = 1.0f - 0x1p-23f;
    for (float high : {0.5f, 3.0f, 0.1f, 1e30f, 1e38f}) {
        const UniformClosedF32 dist(-high, high);
        const float bigger = std::bit_cast<float>(std::bit_cast<std::uint32_t>(dist.scale()) + 1u);
        EXPECT_LE(kMaxFraction * dist.scale() + dist.low(), high) << high;
        EXPECT_GT(kMaxFraction * bigger + dist.low(), high) << high;
    }
}

TEST(UniformClosedF32, RefusesEmptyAndUnboundedRanges) {
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    constexpr float kInf = std::numeric_limits<float>::infinity();
    const struct { float low, high; const char* text; } bad[] = {
        {0.5f, -0.5f, "cannot sample empty range"}, {kNaN, kNaN, "cannot sample empty range"},
        {-1.0f, kNaN, "cannot sample empty range"}, {-kInf, kInf, "range overflow"},
        {-2e38f, 2e38f, "range overflow"}};
    for (const auto& r : bad) expect_fault([&] { UniformClosedF32(r.low, r.high); }, r.text);
}

}  // namespace
}  // namespace quorvel
