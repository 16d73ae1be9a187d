// engine/src/move_buffer.hpp: keeping Box2D's queue of moved broad-phase proxies from growing between steps.
#pragma once

#include <box2d/box2d.h>

namespace quorvel {

/// Box2D queues a proxy each time a body is moved outside its fattened box, and
/// only a step empties the queue, which then queries the tree once per entry.
/// Kick-offs in a row without a step (many resets, or goals in a world whose
/// step never integrates) would make it grow without end, and the next step
/// pay for every entry. This drops each entry that repeats an earlier one (and
/// the blanked ones), once the queue holds more entries than there are proxies.
///
/// The step's pairs come out the same: a repeated entry queries the same tree
/// with the same box and finds pairs whose contact its first entry already
/// made, or refused for a reason that still holds, so only first entries ever
/// create contacts, and they keep their order. The tree itself and the moved
/// flags are left as they are.
void drop_repeated_moves(b2World& world);

}  // namespace quorvel
