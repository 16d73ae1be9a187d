// engine/batch/capacity.hpp: what this machine lets a batch use: its cores, and how many matches fit in its memory.
#pragma once

#include <cstddef>

#include "quorvel/types.hpp"

namespace quorvel::batch {

/// Most threads a batch may be asked for.
inline constexpr unsigned kMaxThreads = 1024;

/// Cores this process may run on (its affinity mask), at least 1.
unsigned usable_cores();

/// Most matches of `config` a batch may hold: refusing a batch that cannot fit
/// beats the machine thrashing or the process being killed. At least 1.
std::size_t most_matches(const EngineConfig& config);

}  // namespace quorvel::batch
