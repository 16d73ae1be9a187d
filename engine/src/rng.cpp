// engine/src/rng.cpp: ChaCha12 block generation, PCG32 seed expansion and closed-range float sampling.
#include "rng.hpp"

#include <bit>
#include <cmath>

#include "quorvel/types.hpp"

namespace quorvel {
namespace {

constexpr int kRounds = 12;

inline void quarter_round(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c, std::uint32_t& d) {
    a += b; d ^= a; d = std::rotl(d, 16);
    c += d; b ^= c; b = std::rotl(b, 12);
    a += b; d ^= a; d = std::rotl(d, 8);
    c += d; b ^= c; b = std::rotl(b, 7);
}

// Largest value a sample's [0, 1) fraction can take: 23 random mantissa bits
// below 1, that is 1 - 2^-23.
constexpr float kMaxFraction = 1.0f - 0x1p-23f;

}  // namespace

Rng::Rng(const std::array<std::uint8_t, 32>& key) {
    for (int i = 0; i < 8; ++i) {
        key_[i] = std::uint32_t(key[4 * i]) | std::uint32_t(key[4 * i + 1]) << 8 |
                  std::uint32_t(key[4 * i + 2]) << 16 | std::uint32_t(key[4 * i + 3]) << 24;
    }
}

Rng Rng::from_u64(std::uint64_t seed) {
    constexpr std::uint64_t kMul = 6364136223846793005ULL;
    constexpr std::uint64_t kInc = 11634580027462260723ULL;
    std::array<std::uint8_t, 32> key{};
    std::uint64_t state = seed;
    for (int chunk = 0; chunk < 8; ++chunk) {
        state = state * kMul + kInc;  // unsigned: wraps modulo 2^64 by definition
        const auto xorshifted = std::uint32_t(((state >> 18) ^ state) >> 27);
        const auto rot = int(state >> 59);
        const std::uint32_t x = std::rotr(xorshifted, rot);
        for (int b = 0; b < 4; ++b) key[4 * chunk + b] = std::uint8_t(x >> (8 * b));
    }
    return Rng(key);
}

std::uint32_t Rng::next_u32() {
    if (used_ == block_.size()) refill();
    return block_[used_++];
}

void Rng::refill() {
    // State layout: 4 constant words ("expand 32-byte k"), 8 key words, the
    // 64-bit block counter (low word first), then the 64-bit stream, here 0.
    const std::array<std::uint32_t, 16> input = {
        0x61707865u, 0x3320646eu, 0x79622d32u, 0x6b206574u,
        key_[0], key_[1], key_[2], key_[3], key_[4], key_[5], key_[6], key_[7],
        std::uint32_t(counter_), std::uint32_t(counter_ >> 32), 0u, 0u};
    std::array<std::uint32_t, 16> x = input;
    for (int r = 0; r < kRounds; r += 2) {
        quarter_round(x[0], x[4], x[8], x[12]);
        quarter_round(x[1], x[5], x[9], x[13]);
        quarter_round(x[2], x[6], x[10], x[14]);
        quarter_round(x[3], x[7], x[11], x[15]);
        quarter_round(x[0], x[5], x[10], x[15]);
        quarter_round(x[1], x[6], x[11], x[12]);
        quarter_round(x[2], x[7], x[8], x[13]);
        quarter_round(x[3], x[4], x[9], x[14]);
    }
    for (int i = 0; i < 16; ++i) block_[i] = x[i] + input[i];
    ++counter_;
    used_ = 0;
}

UniformClosedF32::UniformClosedF32(float low, float high) : low_(low), scale_(0.0f) {
    if (!(low <= high)) throw EngineFault("cannot sample empty range");
    float scale = (high - low) / kMaxFraction;
    if (!std::isfinite(scale)) throw EngineFault("range overflow: the sampling interval has no finite width");
    // The largest fraction must still land on or below high: step the scale
    // down one representable value at a time until it does.
    while (scale * kMaxFraction + low > high) {
        scale = std::bit_cast<float>(std::bit_cast<std::uint32_t>(scale) - 1u);
    }
    scale_ = scale;
}

float UniformClosedF32::sample(Rng& rng) const {
    // The top 23 bits become the mantissa of a float in [1, 2).
    const std::uint32_t bits = (rng.next_u32() >> 9) | 0x3F800000u;
    const float fraction = std::bit_cast<float>(bits) - 1.0f;
    return fraction * scale_ + low_;
}

}  // namespace quorvel
