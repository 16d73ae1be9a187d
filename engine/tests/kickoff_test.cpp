// engine/tests/kickoff_test.cpp: kick-off formations: known answers, geometry, draws, and formations that cannot be drawn.
#include <bit>
#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace quorvel {
namespace {

// Default configuration: team A's players 0..2 then team B's, as (x, y) bit
// patterns, recorded elsewhere with the same generator and seeding.
struct FormationVector {
    std::uint64_t seed;
    bool after_reset;  // else: right after construction
    std::vector<std::pair<std::uint32_t, std::uint32_t>> spots;
};

const FormationVector kFormations[] = {
    {0ull, false, {{0x4198cccdu, 0x41200000u}, {0x41200000u, 0x40defae3u}, {0x41200000u, 0x415907f9u}, {0x41a73333u, 0x41200000u}, {0x41f00000u, 0x40d71a42u}, {0x41f00000u, 0x4159b56du}}},
    {0ull, true, {{0x4198cccdu, 0x41200000u}, {0x41200000u, 0x40df3b76u}, {0x41200000u, 0x414dbf31u}, {0x41a73333u, 0x41200000u}, {0x41f00000u, 0x40dad214u}, {0x41f00000u, 0x4156ae0cu}}},
    {1ull, false, {{0x4198cccdu, 0x41200000u}, {0x41200000u, 0x40dfbb58u}, {0x41200000u, 0x415cebd7u}, {0x41a73333u, 0x41200000u}, {0x41f00000u, 0x40ded702u}, {0x41f00000u, 0x415864a2u}}},
    {1ull, true, {{0x4198cccdu, 0x41200000u}, {0x41200000u, 0x40cb9e6eu}, {0x41200000u, 0x41542e51u}, {0x41a73333u, 0x41200000u}, {0x41f00000u, 0x40cc41dau}, {0x41f00000u, 0x41502488u}}},
    {42ull, false, {{0x4198cccdu, 0x41200000u}, {0x41200000u, 0x40c99a3au}, {0x41200000u, 0x4155c21cu}, {0x41a73333u, 0x41200000u}, {0x41f00000u, 0x40cd4affu}, {0x41f00000u, 0x41560456u}}},
    {42ull, true, {{0x4198cccdu, 0x41200000u}, {0x41200000u, 0x40e11f7cu}, {0x41200000u, 0x4157844bu}, {0x41a73333u, 0x41200000u}, {0x41f00000u, 0x40e5041bu}, {0x41f00000u, 0x4153d3e8u}}},
    {18446744073709551615ull, false, {{0x4198cccdu, 0x41200000u}, {0x41200000u, 0x40cb1d01u}, {0x41200000u, 0x414e4fceu}, {0x41a73333u, 0x41200000u}, {0x41f00000u, 0x40cd779eu}, {0x41f00000u, 0x414df88cu}}},
    {18446744073709551615ull, true, {{0x4198cccdu, 0x41200000u}, {0x41200000u, 0x40d20e18u}, {0x41200000u, 0x414e7f99u}, {0x41a73333u, 0x41200000u}, {0x41f00000u, 0x40cf1f79u}, {0x41f00000u, 0x415325d8u}}},
};

TEST(Formation, DefaultMatchesKnownAnswers) {
    for (const FormationVector& v : kFormations) {
        Engine engine(EngineConfig{}, v.seed);
        if (v.after_reset) engine.reset();
        const std::vector<Vec2> got = player_positions(engine);
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(std::bit_cast<std::uint32_t>(got[i].x), v.spots[i].first) << v.seed << " player " << i;
            EXPECT_EQ(std::bit_cast<std::uint32_t>(got[i].y), v.spots[i].second) << v.seed << " player " << i;
        }
        expect_vec(position_of(EngineProbe::ball(engine)), {20.0f, 10.0f});
    }
}

TEST(Formation, WithoutJitterPlayersStandOnTheirBaseHeightsAtRest) {
    EngineConfig c;
    c.formation_jitter = 0.0f;
    Engine engine(c, 5);
    const std::vector<Vec2> p = player_positions(engine);
    const Vec2 expected[] = {{19.1f, 10.0f}, {10.0f, 6.6666665f}, {10.0f, 13.333333f},
                             {20.9f, 10.0f}, {30.0f, 6.6666665f}, {30.0f, 13.333333f}};
    for (std::size_t i = 0; i < 6; ++i) expect_vec(p[i], expected[i]);
}

// Every non-kick-off player takes exactly one generator word, jitter or not.
TEST(Formation, DrawsOneWordPerNonKickOffPlayer) {
    for (std::uint64_t n : {0ull, 1ull, 2ull, 11ull}) {
        for (float jitter : {0.0f, 0.5f}) {
            EngineConfig c;
            c.players_per_team = n;
            c.formation_jitter = jitter;
            Engine engine(c, 99);
            Rng expected = Rng::from_u64(99);
            for (std::uint64_t i = 0; n > 0 && i < 2 * (n - 1); ++i) expected.next_u32();
            EXPECT_EQ(EngineProbe::match(engine).rng.next_u32(), expected.next_u32()) << n;
        }
    }
}

// Heights are clamped to [r, H - r] before and after the jitter: 32 players
// on a 12-high field (the first base height 12 / 32 is below r) with a jitter of 30.
TEST(Formation, HeightsStayOffTheSideWalls) {
    EngineConfig c;
    c.players_per_team = 32;
    c.field_height = 12.0f;
    c.formation_jitter = 30.0f;
    Engine engine(c, 3);
    for (int round = 0; round < 3; ++round, engine.reset()) {
        for (const Vec2& p : player_positions(engine)) {
            EXPECT_GE(p.y, 0.5f);
            EXPECT_LE(p.y, 11.5f);
        }
    }
    c.field_height = 1.0f;  // exactly two radii: everyone on the centre line
    Engine narrow(c, 3);
    for (const Vec2& p : player_positions(narrow)) EXPECT_EQ(p.y, 0.5f);
}

// The formation's checks, made only when a team has a non-kick-off player.
TEST(Formation, RefusesFormationsThatCannotBeDrawn) {
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    constexpr float kInf = std::numeric_limits<float>::infinity();
    const struct { std::uint64_t players; float field_height, jitter; const char* text; } cases[] = {
        {2, 0.99999994f, 0.5f, "field_height"},
        {2, 0.5f, -1.0f, "field_height"},  // the height check comes first
        {2, 20.0f, -0.1f, "cannot sample empty range"},
        {3, 20.0f, kNaN, "cannot sample empty range"},
        {2, 20.0f, kInf, "range overflow"},
        {2, 20.0f, 1.8e38f, "range overflow"},
        {2, 20.0f, 1.7e38f, ""},  // the widest finite range
        {1, 0.1f, -1.0f, ""},     // no draw, no check
        {0, 0.1f, kNaN, ""}};
    for (const auto& f : cases) {
        EngineConfig c;
        c.players_per_team = f.players;
        c.field_height = f.field_height;
        c.formation_jitter = f.jitter;
        if (*f.text == '\0') {
            EXPECT_NO_THROW((Engine{c, 0})) << f.players << " " << f.field_height << " " << f.jitter;
        } else {
            expect_fault([&] { Engine{c, 0}; }, f.text);
        }
    }
}

}  // namespace
}  // namespace quorvel
