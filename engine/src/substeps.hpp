// engine/src/substeps.hpp: how many Box2D steps a tick takes: under Box2D's translation cap, with sound contacts.
#pragma once

#include <span>

#include <box2d/box2d.h>

namespace quorvel {

/// The discs of a match world as the substep count reads them: the players
/// (in two lists, any split) and the ball, their radii, and the side walls'
/// inner faces at y = 0 and y = field_height.
struct Discs {
    std::span<b2Body* const> players_a, players_b;
    const b2Body* ball;
    float player_radius, ball_radius, field_height;
};

/// Ceiling of the substep count. At the default dt a ball keeps up to 960 u/s
/// unslowed (six simultaneous kicks give 72), and closes on a player at up to
/// 84 u/s in steps of half their combined radius. Past it Box2D's cap slows the
/// fastest body, and contacts are first seen deeper, rather than let one tick
/// cost unbounded work: each substep is a full Box2D step, and with a team
/// piled on one spot a step costs ~10 ms.
inline constexpr int kMaxSubsteps = 8;

/// The number k of equal Box2D steps of dt / k a tick takes, at most
/// kMaxSubsteps; 1 for a non-positive or not-a-number dt. The smallest k for which
///  - every disc keeps its current velocity under Box2D's per-step translation
///    cap (b2_maxTranslation: Box2D silently slows a body that would go further);
///  - no two discs closing on each other that may meet within the tick close by
///    more than half their combined radius in one step, and no disc that may
///    reach the side wall it moves towards moves more than its own radius a step.
/// The world runs without Box2D's continuous collision (its time-of-impact
/// passes cost more than the rest of a step wherever bodies press together,
/// which is most of real play); the second rule keeps discrete contacts sound
/// instead: no disc passes through another or through a wall, and a contact is
/// first seen at most half-way in, where its normal still points the right way.
int substeps_for(float dt, const Discs& discs);

}  // namespace quorvel
