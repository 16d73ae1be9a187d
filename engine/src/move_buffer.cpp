// engine/src/move_buffer.cpp: removing repeated entries from Box2D's broad-phase move queue.
#include "move_buffer.hpp"

#include <cstddef>
#include <vector>

namespace quorvel {
namespace {

// Box2D offers no way to read or trim the queue, so its two members are reached
// through explicit instantiation, where access is not checked.
template <class Tag, typename Tag::type Member>
struct Expose {
    friend typename Tag::type member(Tag) { return Member; }
};
struct QueueTag {
    using type = int32* b2BroadPhase::*;
    friend type member(QueueTag);
};
struct QueueLengthTag {
    using type = int32 b2BroadPhase::*;
    friend type member(QueueLengthTag);
};
template struct Expose<QueueTag, &b2BroadPhase::m_moveBuffer>;
template struct Expose<QueueLengthTag, &b2BroadPhase::m_moveCount>;

}  // namespace

void drop_repeated_moves(b2World& world) {
    // The world owns its contact manager; only the accessor is const.
    b2BroadPhase& broad_phase = const_cast<b2ContactManager&>(world.GetContactManager()).m_broadPhase;
    int32* const queue = broad_phase.*member(QueueTag{});
    int32& length = broad_phase.*member(QueueLengthTag{});
    if (length <= broad_phase.GetProxyCount()) return;  // one kick-off's worth at most

    std::vector<bool> queued;
    int32 kept = 0;
    for (int32 i = 0; i < length; ++i) {
        const int32 proxy = queue[i];
        if (proxy == b2BroadPhase::e_nullProxy) continue;
        if (std::size_t(proxy) >= queued.size()) queued.resize(std::size_t(proxy) + 1);
        if (queued[std::size_t(proxy)]) continue;
        queued[std::size_t(proxy)] = true;
        queue[kept++] = proxy;
    }
    length = kept;
}

}  // namespace quorvel
