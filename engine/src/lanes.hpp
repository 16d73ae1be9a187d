// engine/src/lanes.hpp: four floats worked on at once, with the same IEEE operations as one at a time.
#pragma once

#include <cmath>
#include <cstdint>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace quorvel {

/// Four floats in one vector register. GCC's and Clang's vector types lower to
/// the target's own vector instructions, or to scalar ones where it has none;
/// each operation is the IEEE operation lane by lane, so results are the bits
/// the scalar code gives.
using Lanes = float __attribute__((vector_size(16)));
/// A comparison's result, all ones or all zeros in each lane.
using LaneMask = std::int32_t __attribute__((vector_size(16)));
/// The lanes' bit patterns.
using LaneBits = std::uint32_t __attribute__((vector_size(16)));

/// Each lane's correctly rounded square root (as std::sqrt gives it).
inline Lanes lane_sqrt(Lanes v) {
#if defined(__SSE__)
    return Lanes(_mm_sqrt_ps(__m128(v)));
#else
    for (int i = 0; i < 4; ++i) v[i] = std::sqrt(v[i]);
    return v;
#endif
}

}  // namespace quorvel
