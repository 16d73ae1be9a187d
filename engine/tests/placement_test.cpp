// engine/tests/placement_test.cpp: Engine::place: what it sets, that it plays on bit for bit, and the placements it refuses unchanged.
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace quorvel {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Every player runs at the ball and kicks it towards +x, with a twist that
// changes every few ticks, as flat command rows of both teams.
std::vector<float> chase(const Engine& e, int tick) {
    const std::size_t n = e.config().players_per_team;
    std::vector<float> players(8 * n), ball(4);
    e.write_spectator(players, ball);
    std::vector<float> rows(8 * n);
    for (std::size_t j = 0; j < 2 * n; ++j) {
        const float twist = float((tick / 7 + int(j)) % 5) * 0.2f - 0.4f;
        rows[4 * j] = ball[0] - players[4 * j] + twist;
        rows[4 * j + 1] = ball[1] - players[4 * j + 1] - twist;
        rows[4 * j + 2] = j < n ? 1.0f : -1.0f;  // each team in its own frame: towards its goal
        rows[4 * j + 3] = twist;
    }
    return rows;
}

void play(Engine& e, int ticks) {
    const std::size_t floats = 4 * e.config().players_per_team;
    for (int t = 0; t < ticks; ++t) {
        const std::vector<float> rows = chase(e, t);
        e.advance(std::span{rows.data(), floats}, std::span{rows.data() + floats, floats});
    }
}

// Every float of the spectator frame as its bits, then tick and score.
std::vector<std::uint32_t> state_bits(const Engine& e) {
    std::vector<float> players(8 * e.config().players_per_team), ball(4);
    e.write_spectator(players, ball);
    std::vector<std::uint32_t> out;
    for (const float v : players) out.push_back(std::bit_cast<std::uint32_t>(v));
    for (const float v : ball) out.push_back(std::bit_cast<std::uint32_t>(v));
    const MatchStatus s = e.status();
    out.insert(out.end(), {s.tick, s.score[0], s.score[1]});
    return out;
}

// A start state of the default 3-a-side match: attackers spread over team B's
// half, defenders back, the ball rolling towards team B's goal.
struct Start {
    std::vector<float> players = {0.2f,  0.1f,  1.5f, 0.0f,  0.5f,  -0.6f, 0.0f,  2.0f,  0.4f, 0.7f,  -1.0f, 0.0f,
                                  0.95f, 0.05f, 0.0f, 0.0f,  0.7f,  0.5f,  -3.0f, 0.25f, -0.9f, -0.99f, 0.0f, -7.5f};
    std::vector<float> ball = {0.3f, 0.0f, 0.9f, 0.1f};
    Placement placement(std::optional<std::uint32_t> tick = 8000, std::optional<Score> score = Score{2, 1}) const {
        return {players, ball, tick, score};
    }
};

TEST(Placement, SetsBodiesClockAndScore) {
    Engine e(EngineConfig{}, 3);
    play(e, 40);
    const Start start;
    e.place(start.placement());
    std::vector<float> players(24), ball(4);
    e.write_spectator(players, ball);
    for (std::size_t k = 0; k < players.size(); ++k) EXPECT_NEAR(players[k], start.players[k], 1e-6f) << k;
    for (std::size_t k = 0; k < 4; ++k) EXPECT_NEAR(ball[k], start.ball[k], 1e-6f) << k;
    const MatchStatus s = e.status();
    EXPECT_EQ(s.tick, 8000u);
    EXPECT_EQ(s.ticks_remaining, 1000u);
    EXPECT_EQ(s.score, (Score{2, 1}));

    // Absent clock and score are kept.
    e.place({start.players, start.ball, std::nullopt, std::nullopt});
    EXPECT_EQ(e.status().tick, 8000u);
    EXPECT_EQ(e.status().score, (Score{2, 1}));
}

// The same placement of the same match plays on the same, bit for bit, and
// the kick-offs after its goals draw from the generator as they would have.
TEST(Placement, SamePlacementOfTheSameMatchPlaysTheSame) {
    EngineConfig c;
    c.max_ticks = 100000;
    Engine first(c, 11), second(c, 11);
    play(first, 60);
    play(second, 60);
    const Start start;
    first.place(start.placement(0, Score{0, 0}));
    second.place(start.placement(0, Score{0, 0}));
    for (int t = 0; t < 1500; ++t) {
        play(first, 1);
        play(second, 1);
        ASSERT_EQ(state_bits(first), state_bits(second)) << "tick " << t;
    }
    EXPECT_GT(first.status().score[0] + first.status().score[1], 0u) << "no goal: the kick-offs went untested";
}

// A ball placed rolling at an empty goal scores; placed rolling away, it does not.
TEST(Placement, TheBallKeepsItsVelocity) {
    for (const float vx : {2.0f, -2.0f}) {
        Engine e(EngineConfig{}, 1);
        std::vector<float> players(24, 0.0f);
        for (std::size_t j = 0; j < 6; ++j) {
            players[4 * j] = -0.9f;
            players[4 * j + 1] = -0.9f + 0.3f * float(j);
        }
        const std::vector<float> ball = {0.6f, 0.0f, vx, 0.0f};
        e.place({players, ball, std::nullopt, std::nullopt});
        const std::vector<float> idle(12, 0.0f);
        for (int t = 0; t < 30; ++t) e.advance(std::span{idle}, std::span{idle});
        EXPECT_EQ(e.status().score[TEAM_A], vx > 0 ? 1u : 0u) << vx;
    }
}

struct Refused {
    const char* label;
    void (*spoil)(Start&, std::optional<std::uint32_t>&, std::optional<Score>&);
    const char* text;
};

const Refused kRefused[] = {
    {"NaN", [](Start& s, auto&, auto&) { s.players[5] = kNaN; }, "team A's player 1: y = NaN is not a finite number"},
    {"inf", [](Start& s, auto&, auto&) { s.ball[2] = -kInf; }, "the ball: vx = -inf is not a finite number"},
    {"x off the field", [](Start& s, auto&, auto&) { s.players[20] = 1.0001f; }, "team B's player 2: x = 1.0001 puts its centre outside"},
    {"y off the field", [](Start& s, auto&, auto&) { s.ball[1] = -1.5f; }, "the ball: y = -1.5 puts its centre outside"},
    // 32 / dt = 960 units a second is 48 half-lengths, 96 half-widths (plus 1e-4 of it).
    {"too fast", [](Start& s, auto&, auto&) { s.players[2] = 48.006f; }, "vx = 48.006 is faster than any body ends a tick"},
    {"too fast across", [](Start& s, auto&, auto&) { s.ball[3] = -96.02f; }, "(at most 96.0096)"},
    {"tick", [](Start&, auto& tick, auto&) { tick = 9000; }, "tick = 9000 leaves no play: it must be below max_ticks (9000)"},
    {"score", [](Start&, auto&, auto& score) { score = Score{0, 5}; }, "score = (0, 5) has ended the match"},
    {"short", [](Start& s, auto&, auto&) { s.players.pop_back(); }, "got 23 and 4"},
};

TEST(Placement, RefusedPlacementsChangeNothing) {
    EngineConfig c;
    c.max_score = 5;
    for (const Refused& r : kRefused) {
        Engine e(c, 7), twin(c, 7);
        play(e, 30);
        play(twin, 30);
        Start start;
        std::optional<std::uint32_t> tick = 10;
        std::optional<Score> score = Score{1, 4};
        r.spoil(start, tick, score);
        try {
            e.place({start.players, start.ball, tick, score});
            ADD_FAILURE() << r.label << ": placed";
        } catch (const std::invalid_argument& refused) {
            EXPECT_NE(std::string(refused.what()).find(r.text), std::string::npos) << r.label << ": " << refused.what();
        }
        play(e, 200);
        play(twin, 200);
        EXPECT_EQ(state_bits(e), state_bits(twin)) << r.label;
    }
}

// The bounds are those of the observations: a state the engine shows is a
// state it takes, the fastest velocities and the field's edges included.
TEST(Placement, TheEdgesOfTheBoundsAreTaken) {
    Engine e(EngineConfig{}, 2);
    Start start;
    start.players[0] = -1.0f;
    start.players[1] = 1.0f;
    start.players[2] = 24.0024f;
    start.ball[3] = -48.0048f;
    EXPECT_NO_THROW(e.place(start.placement(8999, Score{100, 0})));
    play(e, 3);
    EXPECT_TRUE(world_is_finite(e));
}

}  // namespace
}  // namespace quorvel
