// engine/batch/capacity.hpp: what this machine lets a batch use: its cores, and how many matches fit in its memory.
#pragma once

#include <cstddef>

#include "quorvel/types.hpp"

namespace quorvel::batch {

/// Most threads a batch may be asked for.
inline constexpr unsigned kMaxThreads = 1024;

/// Cores this process may run on (its affinity mask), at least 1.
unsigned usable_cores();

/// Bytes one match of `config` may come to hold in a batch: its engine after
/// the most crowded play its field allows (every player pressed around the
/// ball), and its rows of the batch's arrays. An upper estimate of what
/// bench/match_memory.cpp measures.
std::size_t match_bytes(const EngineConfig& config);

/// Most matches of `config` a batch may hold: the memory this process may have
/// (the machine's, or less under an address-space limit) over match_bytes().
/// Refusing a batch that cannot fit beats the machine thrashing or the process
/// being killed. At least 1.
std::size_t most_matches(const EngineConfig& config);

}  // namespace quorvel::batch
