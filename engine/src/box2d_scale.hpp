// engine/src/box2d_scale.hpp: how field lengths map onto Box2D's.
#pragma once

namespace quorvel {

/// Box2D's lengths per field unit. Box2D's tolerances are absolute lengths,
/// tuned for bodies of a metre or so: the margin by which its broad phase
/// fattens a body's box (and four times the last step's motion ahead of it),
/// the overlap its solver allows, its largest move a step. At one length per
/// field unit a player running at full speed overran its box every third
/// tick, and one turning (as players do all the time in real play) at once,
/// each time leaving and re-entering the broad phase's tree; at half, a
/// runner keeps its box for five ticks and most turns stay inside it. A power of
/// two, so that every conversion is exact. The one tolerance that is a
/// speed, Box2D's threshold for a bounce, is set on every fixture so that it
/// stays 1 field unit a second.
inline constexpr float kBox2DScale = 0.5f;

/// Field units per Box2D length.
inline constexpr float kFieldScale = 1.0f / kBox2DScale;

}  // namespace quorvel
