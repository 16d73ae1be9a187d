// engine/tests/kickoff_test.cpp: kick-off formations: known answers, geometry, draws and refused formations.
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine_probe.hpp"

namespace quorvel {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Default configuration: team A's players 0..2 then team B's, as (x, y) bit
// patterns, recorded from the reference generator and seeding.
struct FormationVector {
    std::uint64_t seed;
    bool after_reset;                                   // else: right after construction
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

class DefaultFormation : public ::testing::TestWithParam<FormationVector> {};

TEST_P(DefaultFormation, MatchesReference) {
    const FormationVector& v = GetParam();
    Engine engine(EngineConfig{}, v.seed);
    if (v.after_reset) engine.reset();
    const std::vector<Vec2> got = player_positions(engine);
    ASSERT_EQ(got.size(), v.spots.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(std::bit_cast<std::uint32_t>(got[i].x), v.spots[i].first) << "player " << i;
        EXPECT_EQ(std::bit_cast<std::uint32_t>(got[i].y), v.spots[i].second) << "player " << i;
    }
    const Vec2 ball = position_of(EngineProbe::ball(engine));
    EXPECT_EQ(ball.x, 20.0f);
    EXPECT_EQ(ball.y, 10.0f);
}
INSTANTIATE_TEST_SUITE_P(Seeds, DefaultFormation, ::testing::ValuesIn(kFormations), [](const auto& info) {
    return "seed_" + std::to_string(info.param.seed) + (info.param.after_reset ? "_first_reset" : "_construction");
});

TEST(Formation, ZeroJitterStandsOnBaseHeightsEveryoneAtRest) {
    EngineConfig c;
    c.formation_jitter = 0.0f;
    Engine engine(c, 5);
    const std::vector<Vec2> p = player_positions(engine);
    EXPECT_EQ(p[0].x, 19.1f);
    EXPECT_EQ(p[0].y, 10.0f);
    EXPECT_EQ(p[3].x, 20.9f);
    EXPECT_EQ(p[1].x, 10.0f);
    EXPECT_EQ(p[4].x, 30.0f);
    for (int i : {1, 4}) EXPECT_EQ(p[i].y, 6.6666665f);
    for (int i : {2, 5}) EXPECT_EQ(p[i].y, 13.333333f);
    for (const auto& team : EngineProbe::world(engine).teams)
        for (const b2Body* b : team) {
            EXPECT_EQ(b->GetLinearVelocity().x, 0.0f);
            EXPECT_EQ(b->GetLinearVelocity().y, 0.0f);
        }
}

// Each non-kick-off player takes exactly one generator word, even with no
// jitter: the generator after a kick-off is the seed's stream advanced by
// 2 * (n - 1) words.
TEST(Formation, DrawsOneWordPerNonKickOffPlayer) {
    for (std::uint64_t n : {0ull, 1ull, 2ull, 3ull, 11ull}) {
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

TEST(Formation, JitteredHeightsStayOffTheWallsAndBaseHeightsAreClampedFirst) {
    // 40 players on a 20-high field: H * 1 / 40 = 0.5 is already r; with a
    // large jitter every height must still land within [r, H - r].
    EngineConfig c;
    c.players_per_team = 40;
    c.formation_jitter = 30.0f;
    Engine engine(c, 3);
    for (int round = 0; round < 5; ++round) {
        for (const Vec2& p : player_positions(engine)) {
            EXPECT_GE(p.y, 0.5f);
            EXPECT_LE(p.y, 19.5f);
        }
        engine.reset();
    }
}

TEST(Formation, FieldOfExactlyTwoRadiiPutsEveryoneOnTheCentreLine) {
    EngineConfig c;
    c.field_height = 1.0f;
    c.players_per_team = 4;
    Engine engine(c, 1);
    for (const Vec2& p : player_positions(engine)) EXPECT_EQ(p.y, 0.5f);
}

TEST(Formation, PositionsAreNotClampedAlongX) {
    EngineConfig c;
    c.field_width = 1.0f;  // W * 0.25 = 0.25 < r
    Engine engine(c, 1);
    EXPECT_EQ(player_positions(engine)[1].x, 0.25f);
}

TEST(Formation, SameSeedSameKickOffsDifferentSeedOrResetDiffers) {
    Engine a(EngineConfig{}, 1234), b(EngineConfig{}, 1234), other(EngineConfig{}, 1235);
    auto bits = [](Engine& e) {
        std::vector<std::uint32_t> out;
        for (const Vec2& p : player_positions(e)) out.push_back(std::bit_cast<std::uint32_t>(p.y));
        return out;
    };
    EXPECT_EQ(bits(a), bits(b));
    EXPECT_NE(bits(a), bits(other));
    const auto first = bits(a);
    a.reset();
    b.reset();
    EXPECT_EQ(bits(a), bits(b));
    EXPECT_NE(bits(a), first);
}

// Configurations a formation cannot be drawn for: refused at construction,
// but only when some team has a non-kick-off player to place.
struct FormationCheck {
    const char* name;
    std::uint64_t players;
    float field_height;
    float jitter;
    const char* message;  // empty: accepted
};

class FormationChecks : public ::testing::TestWithParam<FormationCheck> {};

TEST_P(FormationChecks, RefuseOrAccept) {
    const FormationCheck& f = GetParam();
    EngineConfig c;
    c.players_per_team = f.players;
    c.field_height = f.field_height;
    c.formation_jitter = f.jitter;
    if (std::string(f.message).empty()) {
        EXPECT_NO_THROW(Engine(c, 0));
        return;
    }
    try {
        Engine engine(c, 0);
        FAIL() << "accepted";
    } catch (const EngineFault& fault) {
        EXPECT_NE(std::string(fault.what()).find(f.message), std::string::npos) << fault.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Configs, FormationChecks,
    ::testing::Values(
        FormationCheck{"narrow_field", 2, 0.99999994f, 0.5f, "field_height"},
        FormationCheck{"nan_field", 2, kNaN, 0.5f, "field_height"},
        FormationCheck{"negative_jitter", 2, 20.0f, -0.1f, "cannot sample empty range"},
        FormationCheck{"nan_jitter", 3, 20.0f, kNaN, "cannot sample empty range"},
        FormationCheck{"infinite_jitter", 2, 20.0f, kInf, "range overflow"},
        FormationCheck{"huge_jitter", 2, 20.0f, 1.8e38f, "range overflow"},
        FormationCheck{"narrow_field_checked_before_jitter", 2, 0.5f, -1.0f, "field_height"},
        FormationCheck{"largest_finite_width", 2, 20.0f, 1.7e38f, ""},
        FormationCheck{"one_player_never_checked", 1, 0.1f, -1.0f, ""},
        FormationCheck{"no_players_never_checked", 0, 0.1f, kNaN, ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvel
