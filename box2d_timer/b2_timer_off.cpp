// box2d_timer/b2_timer_off.cpp: Box2D's step profiler switched off, by no-op definitions of its timer.
//
// Box2D 2.4 times every phase of every b2World::Step and of every island's solve
// for b2Profile, and on Linux each timer read is a gettimeofday call: about half
// of a default tick. Nothing in a match reads those numbers, and Box2D has no
// switch for them. Its library calls b2Timer through the dynamic linker, so these
// definitions, in a library that our binaries list ahead of Box2D's, are the ones
// it binds to: every b2Profile field then stays 0, and nothing else changes.
#include <box2d/b2_timer.h>

b2Timer::b2Timer() : m_start_sec(0), m_start_usec(0) {}

void b2Timer::Reset() {}

float b2Timer::GetMilliseconds() const { return 0.0f; }
