// bench/recording.cpp: reading a recording's .npy file (header, shape, float rows).
#include "recording.hpp"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <regex>
#include <stdexcept>

#include "command_pattern.hpp"

namespace quorvel::bench {

Actions Recording::actions(std::size_t tick, std::size_t match, Team t) const {
    Actions out;
    const std::span<const float> r = team(tick, match, t);
    for (std::size_t i = 0; i < players; ++i) {
        Action a{{r[4 * i], r[4 * i + 1]}, std::nullopt};
        if (r[4 * i + 2] != 0.0f || r[4 * i + 3] != 0.0f) a.kick = Vec2{r[4 * i + 2], r[4 * i + 3]};
        out.players.push_back(a);
    }
    return out;
}

Engine start_match(const Recording& recording, std::size_t m) {
    EngineConfig config;
    config.players_per_team = recording.players;
    Engine engine(config, kSeed + m);
    engine.restart();
    return engine;
}

Recording load_recording(const std::string& path) {
    auto refuse = [&](const char* why) { return std::runtime_error(path + ": " + why); };
    std::ifstream in(path, std::ios::binary);
    if (!in) throw refuse("cannot be opened");

    // Magic, format version (1.x: 2-byte header length, 2.x and 3.x: 4-byte), header.
    char magic[8];
    if (!in.read(magic, 8) || std::memcmp(magic, "\x93NUMPY", 6) != 0) throw refuse("not a .npy file");
    std::uint32_t header_length = 0;
    unsigned char length[4] = {};
    if (!in.read(reinterpret_cast<char*>(length), magic[6] == 1 ? 2 : 4)) throw refuse("truncated");
    for (int i = 3; i >= 0; --i) header_length = header_length << 8 | length[i];
    if (header_length > 4096) throw refuse("header too long");
    std::string header(header_length, '\0');
    if (!in.read(header.data(), header_length)) throw refuse("truncated");

    std::smatch shape;
    if (header.find("'descr': '<f4'") == std::string::npos ||
        header.find("'fortran_order': False") == std::string::npos ||
        !std::regex_search(header, shape, std::regex(R"('shape': \((\d+), (\d+), 2, (\d+), 4\))"))) {
        throw refuse("not a float32 (ticks, matches, 2, players, 4) array");
    }
    Recording r;
    r.ticks = std::stoull(shape[1]);
    r.matches = std::stoull(shape[2]);
    r.players = std::stoull(shape[3]);
    r.rows.resize(r.ticks * r.matches * 2 * r.players * 4);
    if (!in.read(reinterpret_cast<char*>(r.rows.data()), std::streamsize(r.rows.size() * sizeof(float)))) {
        throw refuse("truncated");
    }
    return r;
}

}  // namespace quorvel::bench
