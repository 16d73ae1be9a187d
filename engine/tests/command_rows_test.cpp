// engine/tests/command_rows_test.cpp: a tick from flat command rows plays exactly as one from Action records.
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "quorvel/engine.hpp"

namespace quorvel {
namespace {

std::vector<std::uint32_t> bits_of(const Engine& e) {
    std::vector<float> players(8 * e.config().players_per_team), ball(4);
    e.write_spectator(players, ball);
    std::vector<std::uint32_t> out;
    for (const float f : players) out.push_back(std::bit_cast<std::uint32_t>(f));
    for (const float f : ball) out.push_back(std::bit_cast<std::uint32_t>(f));
    const MatchStatus s = e.status();
    out.insert(out.end(), {s.score[TEAM_A], s.score[TEAM_B], s.tick});
    return out;
}

// Rows for `rows` players of a team: chases the ball loosely, kicks often, and
// now and then gives a zero or non-finite kick or a non-finite move.
std::vector<float> team_rows(std::size_t rows, std::uint32_t tick, int team) {
    std::vector<float> out;
    for (std::size_t i = 0; i < rows; ++i) {
        const float phase = 0.37f * float(tick + 11 * i + 5 * team);
        float kick_x = (tick + i) % 3 == 0 ? 0.0f : std::cos(phase);
        float kick_y = (tick + i) % 3 == 0 ? 0.0f : std::sin(2 * phase);
        float move_x = std::sin(phase);
        if ((tick + i) % 97 == 0) kick_x = std::numeric_limits<float>::quiet_NaN();
        if ((tick + i) % 89 == 0) move_x = std::numeric_limits<float>::infinity();
        out.insert(out.end(), {move_x, std::cos(0.5f * phase), kick_x, kick_y});
    }
    return out;
}

Actions as_actions(const std::vector<float>& rows) {
    Actions out;
    for (std::size_t i = 0; i + 4 <= rows.size(); i += 4) {
        out.players.push_back({{rows[i], rows[i + 1]}, Vec2{rows[i + 2], rows[i + 3]}});
    }
    return out;
}

// Fewer rows than players leave the rest uncommanded, more are ignored, as
// with Action lists of those lengths.
class CommandRows : public ::testing::TestWithParam<std::size_t> {};

TEST_P(CommandRows, PlayExactlyAsActionRecords) {
    EngineConfig config;
    config.max_ticks = 600;
    Engine from_rows(config, 42), from_records(config, 42);
    for (std::uint32_t t = 0; t < 600; ++t) {
        const std::vector<float> a = team_rows(GetParam(), t, 0), b = team_rows(GetParam(), t, 1);
        const auto r1 = from_rows.advance(std::span<const float>(a), std::span<const float>(b));
        const auto r2 = from_records.advance(as_actions(a), as_actions(b));
        ASSERT_EQ(r1[TEAM_A].total(), r2[TEAM_A].total()) << "tick " << t;
        ASSERT_EQ(r1[TEAM_B].total(), r2[TEAM_B].total()) << "tick " << t;
        ASSERT_EQ(bits_of(from_rows), bits_of(from_records)) << "tick " << t;
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, CommandRows, ::testing::Values(3, 2, 5, 0));

}  // namespace
}  // namespace quorvel
