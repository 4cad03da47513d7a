#pragma once

#include <cstdint>

namespace orb::foundation {

/// The next number of the one process-wide MT19937 generator, in [0, 1] (both ends can
/// occur). Unless seeded, the sequence is that of seed 4357 under the original
/// linear-congruential seeding, so every run draws the same numbers; all callers share the
/// sequence in call order. Safe to call from several threads at once.
double mersenneTwisterRandom();

/// Restarts the shared sequence from `seed` (wordᵢ = 69069 · wordᵢ₋₁ mod 2³²).
void mersenneTwisterSeed(std::uint32_t seed);

}  // namespace orb::foundation
