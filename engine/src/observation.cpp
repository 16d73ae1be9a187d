// engine/src/observation.cpp: normalising and mirroring body states into observations and frames.
#include "observation.hpp"

#include <utility>
#include <vector>

namespace quorvel {
namespace {

// The half extents that every frame divides by. Passed by value, so that they
// stay in registers across the stores into the lists.
struct Extents {
    float hx;
    float hy;
    explicit Extents(const EngineConfig& c) : hx(0.5f * c.field_width), hy(0.5f * c.field_height) {}
};

// A body in team A's frame, which is also the spectator's: centre subtracted,
// then divided by the half extent. Record is PlayerObs or BallObs.
template <class Record>
Record unmirrored(const b2Body& body, Extents e) {
    const b2Vec2& p = body.GetPosition();
    const b2Vec2& v = body.GetLinearVelocity();
    return {{(p.x - e.hx) / e.hx, (p.y - e.hy) / e.hy}, {v.x / e.hx, v.y / e.hy}};
}

// Team B's frame is team A's reflected in the halfway line: the same floats
// with x negated. Negation is exact, so team B's view is derived from team A's
// instead of normalising every body a second time.
template <class Record>
Record mirrored(const Record& r) {
    return {{-r.position.x, r.position.y}, {-r.velocity.x, r.velocity.y}};
}

// Each list is sized once, exactly, and filled in place.
PlayerList unmirrored_team(const std::vector<b2Body*>& team, Extents e) {
    PlayerList out = PlayerList::for_overwrite(team.size());
    for (std::size_t i = 0; i < team.size(); ++i) out[i] = unmirrored<PlayerObs>(*team[i], e);
    return out;
}

// Each body of `team` normalised once, into one team's list as it is and into
// the other team's mirrored. Both lists are already of the team's size.
void seen_by_both(const std::vector<b2Body*>& team, Extents e, PlayerList& as_is, PlayerList& as_mirrored) {
    PlayerObs* is = as_is.data();
    PlayerObs* mirror = as_mirrored.data();
    for (std::size_t i = 0; i < team.size(); ++i) {
        is[i] = unmirrored<PlayerObs>(*team[i], e);
        mirror[i] = mirrored(is[i]);
    }
}

// The four floats of a record, in the flat layout's order.
template <class Record>
float* put(float* out, const Record& r) {
    out[0] = r.position.x;
    out[1] = r.position.y;
    out[2] = r.velocity.x;
    out[3] = r.velocity.y;
    return out + 4;
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
        const PlayerObs seen = unmirrored<PlayerObs>(*body, e);
        team_a = put(team_a, seen);
        b_opponents = put(b_opponents, mirrored(seen));
    }
    for (const b2Body* body : b_players) {
        const PlayerObs seen = unmirrored<PlayerObs>(*body, e);
        team_a = put(team_a, seen);
        team_b = put(team_b, mirrored(seen));
    }
    const BallObs ball = unmirrored<BallObs>(*view.world.ball, e);
    put(team_a, ball);
    put(b_opponents, mirrored(ball));
}

void spectate_into(const MatchView& view, float* players, float* ball) {
    const Extents e(view.config);
    for (const Team team : {TEAM_A, TEAM_B}) {
        for (const b2Body* body : view.world.teams[team]) players = put(players, unmirrored<PlayerObs>(*body, e));
    }
    put(ball, unmirrored<BallObs>(*view.world.ball, e));
}

std::array<Observation, 2> observe_both(const MatchView& view) {
    const Extents e(view.config);
    const std::uint32_t remaining = ticks_remaining(view);
    const auto& a_players = view.world.teams[TEAM_A];
    const auto& b_players = view.world.teams[TEAM_B];
    // Built in place with their lists sized, then every record written.
    const std::size_t na = a_players.size(), nb = b_players.size();
    std::array<Observation, 2> out{
        Observation{PlayerList::for_overwrite(na), PlayerList::for_overwrite(nb), {},
                    {view.score[TEAM_A], view.score[TEAM_B]}, remaining},
        Observation{PlayerList::for_overwrite(nb), PlayerList::for_overwrite(na), {},
                    {view.score[TEAM_B], view.score[TEAM_A]}, remaining}};
    Observation& a = out[TEAM_A];
    Observation& b = out[TEAM_B];
    seen_by_both(a_players, e, a.self_team, b.opponent_team);
    seen_by_both(b_players, e, a.opponent_team, b.self_team);
    a.ball = unmirrored<BallObs>(*view.world.ball, e);
    b.ball = mirrored(a.ball);
    return out;
}

Observation observe(const MatchView& view, Team team) {
    const Extents e(view.config);
    const Team other = team == TEAM_A ? TEAM_B : TEAM_A;
    Observation obs;
    obs.self_team = unmirrored_team(view.world.teams[team], e);
    obs.opponent_team = unmirrored_team(view.world.teams[other], e);
    obs.ball = unmirrored<BallObs>(*view.world.ball, e);
    if (team == TEAM_B) {
        for (PlayerObs& p : obs.self_team) p = mirrored(p);
        for (PlayerObs& p : obs.opponent_team) p = mirrored(p);
        obs.ball = mirrored(obs.ball);
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
            const PlayerObs seen = unmirrored<PlayerObs>(*body, e);
            out.players[i++] = {std::uint8_t(team), seen.position, seen.velocity};
        }
    }
    out.ball = unmirrored<BallObs>(*view.world.ball, e);
    out.score = view.score;
    return out;
}

}  // namespace quorvel
