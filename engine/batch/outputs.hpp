// engine/batch/outputs.hpp: every array a batch of matches writes, described once: name, element type, shape, key.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "quorvel/engine.hpp"

namespace quorvel::batch {

/// An output's element type: 32-bit float, unsigned 32-bit integer, or a
/// boolean stored as one byte holding 0 or 1.
enum class Element : std::uint8_t { FLOAT32, UINT32, BOOL };

/// One extent of an output's shape. Every output has one row per match.
enum class Extent : std::uint8_t {
    MATCHES,      ///< N
    TEAMS,        ///< 2: team A, team B
    OBSERVATION,  ///< observation_width(P) = 8P + 4
    PLAYERS,      ///< 2P: team A's players, then team B's
    FOUR,         ///< 4: (x, y, vx, vy)
};

/// When a batch writes an output, and so whether it has one.
enum class Written : std::uint8_t {
    EACH_STEP,   ///< by every step and reset
    AT_THE_END,  ///< by a step that ends a match, in same-step mode only
    SPECTATED,   ///< by spectate()
};

/// One output array. `keys` says where a front-end hands it out: a path of
/// '/'-separated keys below the result of its call (a step's result tuple is
/// its top-level entries in table order), and a second path after a space
/// when it appears twice.
struct Output {
    std::string_view name;
    std::string_view keys;
    Element element;
    std::array<Extent, 3> extents;
    std::size_t rank;
    Written written;
};

using enum Element;
using enum Extent;
using enum Written;

/// Every output, in the order a front-end hands them out. Adding one is a line
/// here and its writer in MatchBatch.
inline constexpr Output kOutputs[] = {
    {"observations", "obs", FLOAT32, {MATCHES, TEAMS, OBSERVATION}, 3, EACH_STEP},
    {"rewards", "rewards", FLOAT32, {MATCHES, TEAMS}, 2, EACH_STEP},
    {"terminated", "terminated", BOOL, {MATCHES}, 1, EACH_STEP},
    {"truncated", "truncated", BOOL, {MATCHES}, 1, EACH_STEP},
    {"score", "info/score", UINT32, {MATCHES, TEAMS}, 2, EACH_STEP},
    {"tick", "info/tick", UINT32, {MATCHES}, 1, EACH_STEP},
    {"ticks_remaining", "info/ticks_remaining", UINT32, {MATCHES}, 1, EACH_STEP},
    {"final_score", "info/final_info/score", UINT32, {MATCHES, TEAMS}, 2, AT_THE_END},
    {"final_tick", "info/final_info/tick", UINT32, {MATCHES}, 1, AT_THE_END},
    {"final_ticks_remaining", "info/final_info/ticks_remaining", UINT32, {MATCHES}, 1, AT_THE_END},
    {"final_observations", "info/final_obs", FLOAT32, {MATCHES, TEAMS, OBSERVATION}, 3, AT_THE_END},
    {"ended", "info/_final_obs info/_final_info", BOOL, {MATCHES}, 1, AT_THE_END},
    {"spectator_players", "players", FLOAT32, {MATCHES, PLAYERS, FOUR}, 3, SPECTATED},
    {"spectator_ball", "ball", FLOAT32, {MATCHES, FOUR}, 2, SPECTATED},
    {"spectator_score", "score", UINT32, {MATCHES, TEAMS}, 2, SPECTATED},
    {"spectator_tick", "tick", UINT32, {MATCHES}, 1, SPECTATED},
};

inline constexpr std::size_t kOutputCount = std::size(kOutputs);

/// A name written in a template argument: output<"rewards">.
template <std::size_t N>
struct OutputName {
    consteval OutputName(const char (&text)[N]) { std::copy_n(text, N, chars); }
    constexpr std::string_view view() const { return {chars, N - 1}; }
    char chars[N];
};

/// The table index of the output called `name`; a name that is not in the
/// table does not compile.
template <OutputName Name>
consteval std::size_t output_index() {
    for (std::size_t i = 0; i < kOutputCount; ++i) {
        if (kOutputs[i].name == Name.view()) return i;
    }
    throw "no output of that name";
}

template <Element E>
struct ElementType;
template <>
struct ElementType<FLOAT32> { using type = float; };
template <>
struct ElementType<UINT32> { using type = std::uint32_t; };
template <>
struct ElementType<BOOL> { using type = std::uint8_t; };

/// The C++ type of output I's elements.
template <std::size_t I>
using element_of = typename ElementType<kOutputs[I].element>::type;

constexpr std::size_t element_size(Element e) { return e == BOOL ? 1 : 4; }

/// How many elements one extent holds in a batch of `matches`, `players` a side.
constexpr std::size_t extent_size(Extent extent, std::size_t matches, std::size_t players) {
    switch (extent) {
        case MATCHES: return matches;
        case TEAMS: return 2;
        case OBSERVATION: return observation_width(players);
        case PLAYERS: return 2 * players;
        case FOUR: return 4;
    }
    return 0;
}

/// Elements in one match's row of `out` (its extents after the first).
constexpr std::size_t row_size(const Output& out, std::size_t players) {
    std::size_t size = 1;
    for (std::size_t d = 1; d < out.rank; ++d) size *= extent_size(out.extents[d], 0, players);
    return size;
}

/// Where a batch writes: one buffer per output, each C-ordered with one row per
/// match, null for an output the batch does not write (AT_THE_END outside
/// same-step mode). The buffers belong to whoever made them.
struct OutputBuffers {
    std::array<void*, kOutputCount> data{};

    template <OutputName Name>
    element_of<output_index<Name>()>* get() const {
        return static_cast<element_of<output_index<Name>()>*>(data[output_index<Name>()]);
    }
};

}  // namespace quorvel::batch
