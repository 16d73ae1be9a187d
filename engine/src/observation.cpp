// engine/src/observation.cpp: normalising and mirroring body states into observations and frames.
#include "observation.hpp"

#include <bit>
#include <cstring>
#include <utility>
#include <vector>

#include "lanes.hpp"

namespace quorvel {
namespace {

// A body's record (x, y, vx, vy) as four lanes, normalised in one vector
// subtraction and one vector division: per lane the same IEEE operations as
// (x - hx) / hx, (y - hy) / hy, (vx - 0) / hx, (vy - 0) / hy, so the same bits
// (subtracting +0 leaves every float as it is, -0 included), at a quarter of
// the divisions.
static_assert(sizeof(PlayerObs) == sizeof(Lanes) && sizeof(BallObs) == sizeof(Lanes));

// What every frame subtracts and divides by. Passed by value, so that it stays
// in registers across the stores into the lists.
struct Extents {
    Lanes centre;
    Lanes half;
    explicit Extents(const EngineConfig& c) {
        const float hx = 0.5f * c.field_width, hy = 0.5f * c.field_height;
        centre = Lanes{hx, hy, 0.0f, 0.0f};
        half = Lanes{hx, hy, hx, hy};
    }
};

// A body in team A's frame, which is also the spectator's: centre subtracted,
// then divided by the half extent.
Lanes unmirrored(const b2Body& body, const Extents& e) {
    const b2Vec2& p = body.GetPosition();
    const b2Vec2& v = body.GetLinearVelocity();
    const Lanes field = Lanes{p.x, p.y, v.x, v.y} * kFieldScale;  // a power of two: exact
    return (field - e.centre) / e.half;
}

// Team B's frame is team A's reflected in the halfway line: the same floats
// with x and vx negated (their sign bits flipped, as negation does). Team B's
// view is derived from team A's instead of normalising every body a second time.
Lanes mirrored(Lanes r) {
    const LaneBits flip{0x80000000u, 0u, 0x80000000u, 0u};
    return Lanes(LaneBits(r) ^ flip);
}

template <class Record>
Record as_record(Lanes r) {
    return std::bit_cast<Record>(r);
}

// A record mirrored in place of its lanes.
template <class Record>
Record flipped(const Record& r) {
    return as_record<Record>(mirrored(std::bit_cast<Lanes>(r)));
}

// The four floats of a record, in the flat layout's order.
float* put(float* out, Lanes r) {
    std::memcpy(out, &r, sizeof r);
    return out + 4;
}

// Each list is sized once, exactly, and filled in place.
PlayerList unmirrored_team(const std::vector<b2Body*>& team, const Extents& e) {
    PlayerList out = PlayerList::for_overwrite(team.size());
    for (std::size_t i = 0; i < team.size(); ++i) out[i] = as_record<PlayerObs>(unmirrored(*team[i], e));
    return out;
}

// Each body of `team` normalised once, into one team's list as it is and into
// the other team's mirrored. Both lists are already of the team's size.
void seen_by_both(const std::vector<b2Body*>& team, const Extents& e, PlayerList& as_is,
                  PlayerList& as_mirrored) {
    float* is = &as_is.data()->position.x;
    float* mirror = &as_mirrored.data()->position.x;
    for (const b2Body* body : team) {
        const Lanes seen = unmirrored(*body, e);
        is = put(is, seen);
        mirror = put(mirror, mirrored(seen));
    }
}

}  // namespace

std::uint32_t ticks_remaining(const MatchView& view) {
    const std::uint32_t max_ticks = view.config.max_ticks;
    return view.tick < max_ticks ? max_ticks - view.tick : 0;
}

// Team A's row is written in order; team B's is the same bodies mirrored, its
// own players (team A's opponents) first, so its two blocks are offset.
void observe_both_into(const MatchView& view, float* team_a, float* team_b) {
    const Extents e(view.config);
    const auto& a_players = view.world.teams[TEAM_A];
    const auto& b_players = view.world.teams[TEAM_B];
    float* b_opponents = team_b + 4 * b_players.size();
    for (const b2Body* body : a_players) {
        const Lanes seen = unmirrored(*body, e);
        team_a = put(team_a, seen);
        b_opponents = put(b_opponents, mirrored(seen));
    }
    for (const b2Body* body : b_players) {
        const Lanes seen = unmirrored(*body, e);
        team_a = put(team_a, seen);
        team_b = put(team_b, mirrored(seen));
    }
    const Lanes ball = unmirrored(*view.world.ball, e);
    put(team_a, ball);
    put(b_opponents, mirrored(ball));
}

void spectate_into(const MatchView& view, float* players, float* ball) {
    const Extents e(view.config);
    for (const Team team : {TEAM_A, TEAM_B}) {
        for (const b2Body* body : view.world.teams[team]) players = put(players, unmirrored(*body, e));
    }
    put(ball, unmirrored(*view.world.ball, e));
}

std::array<Observation, 2> observe_both(const MatchView& view) {
    const Extents e(view.config);
    const std::uint32_t remaining = ticks_remaining(view);
    const auto& a_players = view.world.teams[TEAM_A];
    const auto& b_players = view.world.teams[TEAM_B];
    // Built in place with their lists sized, then every record written. Every
    // member gets its value at construction (the ball's included): given a
    // constant for any, GCC clears the whole 416-byte record first.
    const Lanes ball = unmirrored(*view.world.ball, e);
    const std::size_t na = a_players.size(), nb = b_players.size();
    std::array<Observation, 2> out{
        Observation{PlayerList::for_overwrite(na), PlayerList::for_overwrite(nb), as_record<BallObs>(ball),
                    {view.score[TEAM_A], view.score[TEAM_B]}, remaining},
        Observation{PlayerList::for_overwrite(nb), PlayerList::for_overwrite(na), as_record<BallObs>(mirrored(ball)),
                    {view.score[TEAM_B], view.score[TEAM_A]}, remaining}};
    Observation& a = out[TEAM_A];
    Observation& b = out[TEAM_B];
    seen_by_both(a_players, e, a.self_team, b.opponent_team);
    seen_by_both(b_players, e, a.opponent_team, b.self_team);
    return out;
}

Observation observe(const MatchView& view, Team team) {
    const Extents e(view.config);
    const Team other = team == TEAM_A ? TEAM_B : TEAM_A;
    Observation obs;
    obs.self_team = unmirrored_team(view.world.teams[team], e);
    obs.opponent_team = unmirrored_team(view.world.teams[other], e);
    obs.ball = as_record<BallObs>(unmirrored(*view.world.ball, e));
    if (team == TEAM_B) {
        for (PlayerObs& p : obs.self_team) p = flipped(p);
        for (PlayerObs& p : obs.opponent_team) p = flipped(p);
        obs.ball = flipped(obs.ball);
    }
    obs.score = {view.score[team], view.score[other]};
    obs.ticks_remaining = ticks_remaining(view);
    return obs;
}

SpectatorFrame spectate(const MatchView& view) {
    const Extents e(view.config);
    SpectatorFrame out;
    out.tick = view.tick;
    out.players.resize(view.world.teams[TEAM_A].size() + view.world.teams[TEAM_B].size());
    std::size_t i = 0;
    for (const Team team : {TEAM_A, TEAM_B}) {
        for (const b2Body* body : view.world.teams[team]) {
            const PlayerObs seen = as_record<PlayerObs>(unmirrored(*body, e));
            out.players[i++] = {std::uint8_t(team), seen.position, seen.velocity};
        }
    }
    out.ball = as_record<BallObs>(unmirrored(*view.world.ball, e));
    out.score = view.score;
    return out;
}

}  // namespace quorvel
