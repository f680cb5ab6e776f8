// The simulator's pseudo-random generator: xoshiro256** (Blackman and Vigna),
// its 256-bit state filled from the seed by splitmix64. Only integer
// operations and the formulas below are used, so a seed gives the same
// sequence on every machine and with every standard library (the standard
// distributions of <random> are not portable and are not used).
#pragma once

#include <array>
#include <cstdint>

namespace treetri::tools {

// splitmix64: a 64-bit counter passed through a mixing function. Used to
// expand one seed into the four words of xoshiro's state.
class SplitMix64 {
 public:
  explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next();

 private:
  std::uint64_t state_;
};

class Rng {
 public:
  explicit Rng(std::uint64_t seed);

  // The next 64 raw bits.
  std::uint64_t Next();
  // Uniform in [0, 1): the top 53 bits of Next() times 2^-53.
  double Uniform();
  // Uniform in [lo, hi).
  double Uniform(double lo, double hi) { return lo + (hi - lo) * Uniform(); }
  // Uniform whole number in [lo, hi] (both included), without modulo bias.
  int UniformInt(int lo, int hi);
  // True with probability p.
  bool Chance(double p) { return Uniform() < p; }
  // Standard normal by the Box-Muller transform; each call uses two uniforms
  // (no value is kept for the next call, so the sequence is easy to follow).
  double Normal();
  double Normal(double mean, double sigma) { return mean + sigma * Normal(); }

 private:
  std::array<std::uint64_t, 4> s_{};
};

}  // namespace treetri::tools
