// bench/worst_tick_search.cpp: searches configurations and commands for the slowest tick the engine accepts.
//
//     build/bench/quorvel_worst_tick [configs] [ticks] [seed] [top]
//     build/bench/quorvel_worst_tick teams [ticks]
//
// Builds `configs` configurations (corner values of every field mixed with
// log-uniform random ones, and a few hand-picked piles), plays each for up to
// `ticks` ticks under one of several command policies (a reset half-way), and
// times every tick. Refused configurations are counted, not played. The `top`
// slowest are played again three times and their best worst tick reported, so
// that a spell of load on a shared machine does not make a fast one look slow.
// A world holding a non-finite number after a tick is reported as well.
// "teams" prints the worst tick by team size instead, on piles and open fields.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "engine_probe.hpp"
#include "quorvel/number_format.hpp"
#include "quorvel/engine.hpp"

namespace quorvel {
namespace {

using Clock = std::chrono::steady_clock;

// Gives up on a configuration after this much play: it is slow enough to report.
constexpr double kConfigBudgetMs = 3000.0;

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    std::uint64_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }
    double unit() { return double(next() >> 11) / double(1ull << 53); }
    std::size_t below(std::size_t n) { return std::size_t(next() % n); }
    float log_uniform(double low, double high) {
        return float(std::exp(std::log(low) + unit() * (std::log(high) - std::log(low))));
    }
    float sign() { return below(8) == 0 ? -1.0f : 1.0f; }

private:
    std::uint64_t state_;
};

// One value of a field: a corner value most of the time, otherwise random.
template <std::size_t N>
float pick(Random& r, const float (&corners)[N], double low, double high) {
    if (r.below(10) < 7) return corners[r.below(N)];
    return r.sign() * r.log_uniform(low, high);
}

EngineConfig random_config(Random& r) {
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    static const float lengths[] = {0.0f, 1e-3f, 1.0f, 20.0f, 40.0f, 400.0f, 1e4f, 1e6f, -40.0f};
    static const float radii[] = {0.0f, 1e-20f, 1e-12f, 1e-3f, 0.2f, 0.5f, 5.0f, 100.0f, 1e6f, -0.5f};
    static const float speeds[] = {0.0f, 6.0f, 12.0f, 1e3f, 1e6f, 1e9f, -1e9f};
    static const float steps[] = {1.0f / 30.0f, 1e-9f, 1e-4f, 1.0f, 100.0f, 1e6f, 0.0f, -1.0f, kNaN};
    static const float ratios[] = {0.0f, 0.6f, 1.0f, 10.0f, 1e6f};
    static const float dampings[] = {0.0f, 0.6f, 1e3f, 1e9f, 3e38f};
    static const float jitters[] = {0.0f, 0.5f, 10.0f, 1e6f, 1e38f};
    static const std::uint64_t teams[] = {0, 1, 2, 3, 8, 16, 32, 48, 64, 128, 256};

    EngineConfig c;
    c.players_per_team = r.below(10) < 8 ? teams[r.below(std::size(teams))] : r.below(512);
    c.field_width = pick(r, lengths, 1e-6, 1e6);
    c.field_height = pick(r, lengths, 1e-6, 1e6);
    c.player_radius = pick(r, radii, 1e-25, 1e6);
    c.ball_radius = pick(r, radii, 1e-25, 1e6);
    c.goal_width = pick(r, lengths, 1e-6, 1e6);
    c.dt = pick(r, steps, 1e-10, 1e7);
    c.max_ticks = r.below(4) == 0 ? 0 : 9000;
    if (r.below(4) == 0) c.max_score = std::uint32_t(r.below(3));
    c.player_max_speed = pick(r, speeds, 1e-3, 1e9);
    c.ball_linear_damping = std::fabs(pick(r, dampings, 1e-3, 1e9));
    c.ball_restitution = pick(r, ratios, 1e-3, 1e6);
    c.kick_range = pick(r, radii, 1e-6, 1e6);
    c.kick_max_speed = pick(r, speeds, 1e-3, 1e9);
    c.formation_jitter = std::fabs(pick(r, jitters, 1e-3, 1e38));
    return c;
}

// Teams squeezed onto fields that cannot hold them, the worst of them with the
// hardest kicks and the largest step the ball may take, and discs wider than
// the field.
std::vector<EngineConfig> piles() {
    std::vector<EngineConfig> out;
    for (const std::uint64_t n : {8u, 12u, 16u, 20u, 24u, 32u, 48u, 64u}) {
        for (const float width : {0.0f, 1.0f, 4.0f}) {
            EngineConfig c;
            c.players_per_team = n;
            c.field_width = width;
            c.field_height = 1.0f;
            c.kick_max_speed = 1e9f;
            out.push_back(c);
            c.dt = 1e6f;
            out.push_back(c);
        }
    }
    // A disc wider than the field: every body overlaps every other one.
    for (const std::uint64_t n : {4u, 8u, 16u, 32u}) {
        EngineConfig c;
        c.players_per_team = n;
        c.field_width = 0.67f;
        c.field_height = 1.96f;
        c.ball_radius = 1e6f;
        c.player_max_speed = 1e9f;
        c.kick_max_speed = 1e9f;
        out.push_back(c);
        c.dt = 1e6f;
        out.push_back(c);
        c.ball_radius = 0.2f;
        c.field_width = 1.0f;
        c.field_height = 40.0f;
        c.player_radius = 10.9f;
        c.dt = 0.2f;
        c.player_max_speed = 1e3f;
        out.push_back(c);
    }
    return out;
}

enum class Policy { chase, pile, wild, corner, idle, count };
const char* const kPolicyNames[] = {"chase", "pile", "wild", "corner", "idle"};

// Commands in each team's own frame (x towards the opponent), from raw positions.
Actions commands(const Engine& engine, Team team, Policy policy, Random& r) {
    const World& w = EngineProbe::world(engine);
    const EngineConfig& c = engine.config();
    const Vec2 ball = position_of(*w.ball);
    const b2Vec2 centre(c.field_width * 0.5f, c.field_height * 0.5f);
    const float mirror = team == TEAM_A ? 1.0f : -1.0f;
    Actions out;
    for (const b2Body* body : w.teams[team]) {
        const Vec2 p = position_of(*body);
        Action a;
        switch (policy) {
            case Policy::chase:
                a.move_dir = {mirror * (ball.x - p.x) * 1e3f, (ball.y - p.y) * 1e3f};
                a.kick = Vec2{1.0f, 0.0f};
                break;
            case Policy::pile:
                a.move_dir = {mirror * (centre.x - p.x) * 1e3f, (centre.y - p.y) * 1e3f};
                a.kick = Vec2{float(r.unit()) * 2.0f - 1.0f, float(r.unit()) * 2.0f - 1.0f};
                break;
            case Policy::wild:
                a.move_dir = {float(r.unit()) * 3.0f - 1.5f, float(r.unit()) * 3.0f - 1.5f};
                if (r.below(2) == 0) a.kick = Vec2{float(r.unit()) * 3.0f - 1.5f, float(r.unit()) * 3.0f - 1.5f};
                break;
            case Policy::corner:
                a.move_dir = {-1.0f, -1.0f};
                a.kick = Vec2{-1.0f, 1.0f};
                break;
            case Policy::idle:
            case Policy::count:
                break;
        }
        out.players.push_back(a);
    }
    return out;
}

bool world_is_finite(const Engine& engine) {
    for (const b2Body* b = EngineProbe::world(engine).physics.GetBodyList(); b; b = b->GetNext()) {
        const Vec2 p = position_of(*b), v = velocity_of(*b);
        if (!(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(v.x) && std::isfinite(v.y))) return false;
    }
    return true;
}

struct Outcome {
    bool refused = false;
    std::string refusal;
    double worst_ms = 0.0;
    std::size_t ticks = 0;
    bool finite = true;
};

Outcome play(const EngineConfig& config, Policy policy, std::uint64_t seed, std::size_t ticks) {
    Outcome out;
    try {
        Engine engine(config, seed);
        Random r(seed);
        double spent = 0.0;
        for (std::size_t t = 0; t < ticks && spent < kConfigBudgetMs; ++t) {
            if (t == ticks / 2) engine.reset();
            const Actions a = commands(engine, TEAM_A, policy, r);
            const Actions b = commands(engine, TEAM_B, policy, r);
            const auto start = Clock::now();
            const StepResult result = engine.step(a, b);
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            asm volatile("" : : "g"(&result) : "memory");
            spent += ms;
            out.worst_ms = std::max(out.worst_ms, ms);
            ++out.ticks;
            if (out.finite && !world_is_finite(engine)) out.finite = false;
        }
    } catch (const EngineFault& fault) {
        out.refused = true;
        out.refusal = fault.what();
    }
    return out;
}

struct Case {
    EngineConfig config;
    Policy policy;
    std::uint64_t seed;
    Outcome outcome;
};

std::string describe(const EngineConfig& c) {
    auto f = [](float v) { return format_action_number(v); };
    std::string s = "players_per_team=" + std::to_string(c.players_per_team);
    s += " field=" + f(c.field_width) + "x" + f(c.field_height);
    s += " player_radius=" + f(c.player_radius) + " ball_radius=" + f(c.ball_radius);
    s += " goal_width=" + f(c.goal_width) + " dt=" + f(c.dt);
    s += " player_max_speed=" + f(c.player_max_speed) + " kick_max_speed=" + f(c.kick_max_speed);
    s += " ball_linear_damping=" + f(c.ball_linear_damping) + " ball_restitution=" + f(c.ball_restitution);
    s += " kick_range=" + f(c.kick_range) + " formation_jitter=" + f(c.formation_jitter);
    return s;
}

}  // namespace
}  // namespace quorvel

// The worst tick by team size, on a field that cannot hold the teams apart and
// on fields that can, every player chasing the ball and kicking it.
int team_table(std::size_t ticks) {
    using namespace quorvel;
    struct Field {
        const char* name;
        float width, height, kick_speed, dt;
    };
    const Field fields[] = {{"pile 0x1, kicks 1e9/s", 0.0f, 1.0f, 1e9f, 1.0f / 30.0f},
                            {"pile 0x1, kicks 1e9/s, dt 1e6", 0.0f, 1.0f, 1e9f, 1e6f},
                            {"40x20, kicks 1e9/s", 40.0f, 20.0f, 1e9f, 1.0f / 30.0f},
                            {"400x200, kicks 1e9/s", 400.0f, 200.0f, 1e9f, 1.0f / 30.0f},
                            {"1e6x1e6, kicks 1e9/s", 1e6f, 1e6f, 1e9f, 1.0f / 30.0f}};
    for (const Field& f : fields) {
        for (const std::uint64_t n : {4u, 8u, 12u, 16u, 24u, 32u, 48u, 64u, 128u, 256u, 512u, 1024u}) {
            EngineConfig c;
            c.players_per_team = n;
            c.field_width = f.width;
            c.field_height = f.height;
            c.kick_max_speed = f.kick_speed;
            c.dt = f.dt;
            double best = 1e300;
            Outcome o;
            for (int k = 0; k < 3; ++k) {
                o = play(c, Policy::chase, 5, ticks);
                best = std::min(best, o.worst_ms);
            }
            if (o.refused) {
                std::printf("%-32s n=%4llu refused: %s\n", f.name, (unsigned long long)n, o.refusal.c_str());
                continue;
            }
            std::printf("%-32s n=%4llu worst tick %9.3f ms over %zu ticks\n", f.name, (unsigned long long)n, best,
                        o.ticks);
            std::fflush(stdout);
            if (best > 200.0) break;
        }
    }
    return 0;
}

int main(int argc, char** argv) {
    using namespace quorvel;
    if (argc > 1 && std::string(argv[1]) == "teams") return team_table(argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 60);
    const std::size_t configs = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 2000;
    const std::size_t ticks = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 40;
    const std::uint64_t seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1;
    const std::size_t top = argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 10;

    Random r(seed);
    std::vector<Case> cases;
    for (const EngineConfig& c : piles()) {
        for (const Policy p : {Policy::chase, Policy::pile}) cases.push_back({c, p, r.next(), {}});
    }
    while (cases.size() < configs) {
        cases.push_back({random_config(r), Policy(r.below(std::size_t(Policy::count))), r.next(), {}});
    }

    std::size_t refused = 0, played_ticks = 0, non_finite = 0;
    for (Case& c : cases) {
        c.outcome = play(c.config, c.policy, c.seed, ticks);
        refused += c.outcome.refused;
        played_ticks += c.outcome.ticks;
        if (!c.outcome.refused && !c.outcome.finite) {
            ++non_finite;
            std::printf("non-finite world: policy=%s %s\n", kPolicyNames[int(c.policy)], describe(c.config).c_str());
        }
    }
    std::sort(cases.begin(), cases.end(),
              [](const Case& a, const Case& b) { return a.outcome.worst_ms > b.outcome.worst_ms; });

    std::printf("%zu configurations (%zu refused, %zu played), %zu ticks timed, %zu non-finite worlds\n",
                cases.size(), refused, cases.size() - refused, played_ticks, non_finite);
    std::printf("slowest ticks, best of three replays (first pass in brackets):\n");
    for (std::size_t i = 0; i < std::min(top, cases.size()) && !cases[i].outcome.refused; ++i) {
        const Case& c = cases[i];
        double best = c.outcome.worst_ms;
        for (int k = 0; k < 3; ++k) best = std::min(best, play(c.config, c.policy, c.seed, ticks).worst_ms);
        std::printf("%9.3f ms [%9.3f] policy=%s %s\n", best, c.outcome.worst_ms, kPolicyNames[int(c.policy)],
                    describe(c.config).c_str());
    }
    return 0;
}
