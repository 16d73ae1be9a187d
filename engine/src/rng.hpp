// engine/src/rng.hpp: the seeded random generator of kick-offs and its closed-range float sampling.
#pragma once

#include <array>
#include <cstdint>

namespace quorvel {

/// ChaCha with 12 rounds, a 64-bit block counter and stream 0, keyed by 32 seed
/// bytes. Output words are handed out in order from each 16-word block. Seeds
/// reproduce the same sequence on every machine.
class Rng {
public:
    /// Keys the generator with 32 bytes (little-endian key words).
    explicit Rng(const std::array<std::uint8_t, 32>& key);

    /// Expands a 64-bit seed into the 32 key bytes with a PCG32 sequence, so
    /// that nearby seeds give unrelated keys.
    static Rng from_u64(std::uint64_t seed);

    /// The next 32-bit output word.
    std::uint32_t next_u32();

private:
    void refill();

    std::array<std::uint32_t, 8> key_{};
    std::uint64_t counter_ = 0;            ///< index of the next block to generate
    std::array<std::uint32_t, 16> block_{};
    unsigned used_ = 16;                   ///< words of block_ already handed out
};

/// Uniform 32-bit float over a closed interval [low, high]. Each sample takes
/// exactly one word of the generator.
class UniformClosedF32 {
public:
    /// Throws EngineFault "cannot sample empty range" when low > high or either
    /// is not a number, and "range overflow" when the width is not finite.
    UniformClosedF32(float low, float high);

    float sample(Rng& rng) const;

    float low() const { return low_; }
    float scale() const { return scale_; }

private:
    float low_;
    float scale_;
};

}  // namespace quorvel
