// engine/src/substeps.cpp: the substep count: Box2D's translation cap, then what the contacts about to happen ask for.
#include "substeps.hpp"

#include <algorithm>
#include <cmath>

namespace quorvel {
namespace {

// How far, as a share of their combined radius, two discs that may meet can
// close in one step.
constexpr float kClosingShare = 0.5f;

template <class Visit>
void each_player(const Discs& d, Visit visit) {
    for (const b2Body* p : d.players_a) visit(*p);
    for (const b2Body* p : d.players_b) visit(*p);
}

// Box2D's test, per body and step h: (h v)·(h v) > b2_maxTranslation².
bool over_cap(const b2Body& b, float h) {
    const b2Vec2 t = h * b.GetLinearVelocity();
    return b2Dot(t, t) > b2_maxTranslationSquared;
}

bool exceeds_cap(const Discs& d, float h) {
    bool any = over_cap(*d.ball, h);
    each_player(d, [&](const b2Body& p) { any = any || over_cap(p, h); });
    return any;
}

// The smallest k for which no disc's current velocity moves it further than
// b2_maxTranslation in a step of dt / k, at most kMaxSubsteps, given whether
// one step of dt already does (exceeds_cap(d, dt)).
int translation_substeps(float dt, const Discs& d, bool over_at_dt) {
    if (!over_at_dt) return 1;  // ordinary play

    // First guess from the fastest speed in double precision, then settle on
    // the exact smallest k by Box2D's float test.
    double fastest = 0.0;
    auto note = [&](const b2Body& b) {
        const b2Vec2 v = b.GetLinearVelocity();
        const double speed = std::sqrt(double(v.x) * v.x + double(v.y) * v.y);
        if (speed > fastest) fastest = speed;  // false for NaN: such a body is Box2D's problem
    };
    note(*d.ball);
    each_player(d, note);
    const double guess = std::ceil(fastest * double(dt) / double(b2_maxTranslation));
    int k = guess >= double(kMaxSubsteps) ? kMaxSubsteps : guess > 1.0 ? int(guess) : 1;
    while (k < kMaxSubsteps && exceeds_cap(d, dt / float(k))) ++k;
    while (k > 1 && !exceeds_cap(d, dt / float(k - 1))) --k;
    return k;
}

// The steps the contacts of a tick ask for, as a real number: the largest,
// over what may meet within dt, of the distance closed in dt over the distance
// allowed a step. Not-a-number velocities ask for nothing.
class ContactDemand {
public:
    ContactDemand(float dt, float field_height) : dt_(dt), height_(field_height) {}

    // A disc and the side wall it moves towards: its centre may reach the
    // wall's face in a step, never cross it.
    void wall(const b2Body& disc, float radius) {
        const b2Vec2 v = disc.GetLinearVelocity();
        const float travel = std::fabs(v.y) * dt_;
        if (!(travel > radius)) return;
        const float y = disc.GetPosition().y;
        const float gap = v.y < 0.0f ? y - radius : height_ - radius - y;
        if (travel > gap && gap > 0.0f) steps_ = std::max(steps_, travel / radius);
    }

    // Two discs of combined radius `reach`; discs moving apart never meet.
    // Squared lengths until a pair is known to ask for more than one step.
    void pair(const b2Body& a, const b2Body& b, float reach) {
        const b2Vec2 relative = dt_ * (a.GetLinearVelocity() - b.GetLinearVelocity());
        const float allowed = kClosingShare * reach;
        const float closing_squared = b2Dot(relative, relative);
        if (!(closing_squared > allowed * allowed)) return;
        const b2Vec2 apart = a.GetPosition() - b.GetPosition();
        if (!(b2Dot(apart, relative) < 0.0f)) return;
        const float distance_squared = b2Dot(apart, apart);
        if (!(distance_squared > reach * reach)) return;  // touching: Box2D already holds the contact
        const float closing = std::sqrt(closing_squared);
        const float meets = closing + reach;  // they touch within dt if closer than this
        if (meets * meets > distance_squared) steps_ = std::max(steps_, closing / allowed);
    }

    int substeps() const { return steps_ < float(kMaxSubsteps) ? int(std::ceil(steps_)) : kMaxSubsteps; }

private:
    float dt_, height_;
    float steps_ = 1.0f;
};

// The contacts' steps. One pass over the discs serves both rules: it also
// answers exceeds_cap(d, dt) into `over_at_dt`.
int contact_substeps(float dt, const Discs& d, bool& over_at_dt) {
    ContactDemand demand(dt, d.field_height);
    const b2Body& ball = *d.ball;
    demand.wall(ball, d.ball_radius);
    bool over = over_cap(ball, dt);
    float fastest_squared = 0.0f;
    each_player(d, [&](const b2Body& p) {
        const b2Vec2 v = p.GetLinearVelocity();
        fastest_squared = std::max(fastest_squared, b2Dot(v, v));
        over |= over_cap(p, dt);
        demand.wall(p, d.player_radius);
    });
    over_at_dt = over;
    // Pairs only where the fastest speeds could close by more than allowed:
    // the ball with every player, then the players among themselves.
    const float fastest = std::sqrt(fastest_squared) * dt;
    const float ball_reach = d.ball_radius + d.player_radius;
    if (ball.GetLinearVelocity().Length() * dt + fastest > kClosingShare * ball_reach) {
        each_player(d, [&](const b2Body& p) { demand.pair(ball, p, ball_reach); });
    }
    const float player_reach = d.player_radius + d.player_radius;
    if (fastest + fastest > kClosingShare * player_reach) {
        const std::size_t na = d.players_a.size(), n = na + d.players_b.size();
        auto at = [&](std::size_t i) -> const b2Body& { return *(i < na ? d.players_a[i] : d.players_b[i - na]); };
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = i + 1; j < n; ++j) demand.pair(at(i), at(j), player_reach);
        }
    }
    return demand.substeps();
}

}  // namespace

int substeps_for(float dt, const Discs& discs) {
    if (!(dt > 0.0f)) return 1;  // Box2D does not integrate such a step at all
    bool over_at_dt = false;
    const int contacts = contact_substeps(dt, discs, over_at_dt);
    return std::max(translation_substeps(dt, discs, over_at_dt), contacts);
}

}  // namespace quorvel
