// module/binding/config_fields.hpp: EngineConfig's fields in constructor order, the one list both extensions read.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>
#include <tuple>

#include "quorvel/types.hpp"

namespace quorvel::py {

/// One field of EngineConfig as Python sees it: the record member, its keyword
/// and attribute name, and its default as the class's text signature shows it.
template <auto Member>
struct ConfigField {
    static constexpr auto member = Member;
    const char* name;
    const char* shown_default;
};

/// Every field, in the order of the constructor's positional parameters.
inline constexpr std::tuple config_fields{
    ConfigField<&EngineConfig::players_per_team>{"players_per_team", "3"},
    ConfigField<&EngineConfig::field_width>{"field_width", "40.0"},
    ConfigField<&EngineConfig::field_height>{"field_height", "20.0"},
    ConfigField<&EngineConfig::player_radius>{"player_radius", "0.5"},
    ConfigField<&EngineConfig::ball_radius>{"ball_radius", "0.2"},
    ConfigField<&EngineConfig::goal_width>{"goal_width", "6.0"},
    ConfigField<&EngineConfig::dt>{"dt", "..."},
    ConfigField<&EngineConfig::max_ticks>{"max_ticks", "9000"},
    ConfigField<&EngineConfig::max_score>{"max_score", "None"},
    ConfigField<&EngineConfig::player_max_speed>{"player_max_speed", "6.0"},
    ConfigField<&EngineConfig::ball_linear_damping>{"ball_linear_damping", "0.6"},
    ConfigField<&EngineConfig::ball_restitution>{"ball_restitution", "0.6"},
    ConfigField<&EngineConfig::kick_range>{"kick_range", "0.4"},
    ConfigField<&EngineConfig::kick_max_speed>{"kick_max_speed", "12.0"},
    ConfigField<&EngineConfig::formation_jitter>{"formation_jitter", "0.5"},
};

inline constexpr std::size_t config_field_count = std::tuple_size_v<decltype(config_fields)>;

/// The field names in order: the constructor's parameters.
inline constexpr std::array<const char*, config_field_count> config_field_names =
    std::apply([](const auto&... field) {
        return std::array<const char*, config_field_count>{field.name...};
    }, config_fields);

namespace detail {

// "EngineConfig(players_per_team=3, ..., formation_jitter=0.5)\n--\n\n", spelled
// out at compile time so that the class's docstring stays static data.
inline constexpr std::string_view signature_parts[] = {"EngineConfig(", ", ", "=", ")\n--\n\n"};

constexpr std::size_t signature_length() {
    std::size_t length = signature_parts[0].size() + signature_parts[3].size();
    std::apply([&](const auto&... field) {
        ((length += std::string_view(field.name).size() + 1 +
                    std::string_view(field.shown_default).size()), ...);
    }, config_fields);
    return length + (config_field_count - 1) * signature_parts[1].size();
}

}  // namespace detail

/// The class docstring: its text signature alone, NUL-terminated.
inline constexpr auto config_signature = [] {
    std::array<char, detail::signature_length() + 1> text{};
    std::size_t at = 0;
    auto append = [&](std::string_view part) {
        for (char c : part) text[at++] = c;
    };
    append(detail::signature_parts[0]);
    bool first = true;
    std::apply([&](const auto&... field) {
        ((append(first ? "" : detail::signature_parts[1]), first = false, append(field.name),
          append(detail::signature_parts[2]), append(field.shown_default)), ...);
    }, config_fields);
    append(detail::signature_parts[3]);
    return text;
}();

}  // namespace quorvel::py
