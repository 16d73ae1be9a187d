// engine/src/observation.cpp: normalising and mirroring body states into observations and frames.
#include "observation.hpp"

namespace quorvel {
namespace {

// The observation frame of one team: subtract the centre, divide by the half
// extent, then (team B) negate x.
struct Frame {
    float hx;
    float hy;
    bool mirrored;

    Frame(const EngineConfig& c, bool mirror)
        : hx(0.5f * c.field_width), hy(0.5f * c.field_height), mirrored(mirror) {}

    Vec2 position(Vec2 p) const {
        const float x = (p.x - hx) / hx;
        return {mirrored ? -x : x, (p.y - hy) / hy};
    }
    Vec2 velocity(Vec2 v) const {
        const float x = v.x / hx;
        return {mirrored ? -x : x, v.y / hy};
    }
};

std::vector<PlayerObs> observe_team(const std::vector<b2Body*>& team, const Frame& frame) {
    std::vector<PlayerObs> out;
    out.reserve(team.size());
    for (const b2Body* body : team) {
        out.push_back({frame.position(position_of(*body)), frame.velocity(velocity_of(*body))});
    }
    return out;
}

BallObs observe_ball(const b2Body& ball, const Frame& frame) {
    return {frame.position(position_of(ball)), frame.velocity(velocity_of(ball))};
}

}  // namespace

Observation observe(const MatchView& view, Team team) {
    const Frame frame(view.config, team == TEAM_B);
    const Team other = team == TEAM_A ? TEAM_B : TEAM_A;
    const std::uint32_t max_ticks = view.config.max_ticks;
    Observation obs;
    obs.self_team = observe_team(view.world.teams[team], frame);
    obs.opponent_team = observe_team(view.world.teams[other], frame);
    obs.ball = observe_ball(*view.world.ball, frame);
    obs.score = {view.score[team], view.score[other]};
    obs.ticks_remaining = view.tick < max_ticks ? max_ticks - view.tick : 0;
    return obs;
}

SpectatorFrame spectate(const MatchView& view) {
    const Frame frame(view.config, false);
    SpectatorFrame out;
    out.tick = view.tick;
    out.players.reserve(view.world.teams[TEAM_A].size() + view.world.teams[TEAM_B].size());
    for (const Team team : {TEAM_A, TEAM_B}) {
        for (const b2Body* body : view.world.teams[team]) {
            out.players.push_back({std::uint8_t(team), frame.position(position_of(*body)),
                                   frame.velocity(velocity_of(*body))});
        }
    }
    out.ball = observe_ball(*view.world.ball, frame);
    out.score = view.score;
    return out;
}

}  // namespace quorvel
