// Counter-based random numbers: the draw for (seed, stream, index) does not depend on what was
// drawn before, so a recording is the same whether it is generated whole, streamed or in parts,
// and on every standard library (std::normal_distribution is not specified bit for bit).
#ifndef SYNTH__RNG_HPP_
#define SYNTH__RNG_HPP_

#include <cmath>
#include <cstdint>

namespace sweepmend
{
namespace synth
{

/// SplitMix64 finaliser: a bijective, well-mixed hash of a 64-bit word.
inline uint64_t mix64(uint64_t x)
{
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

/// A short sequence of draws keyed by (seed, stream, index).
class Rng
{
public:
  Rng(uint64_t seed, uint64_t stream, uint64_t index)
  : state_(mix64(mix64(mix64(seed) ^ stream) ^ index)) {}

  uint64_t next()
  {
    state_ += 0x9E3779B97F4A7C15ull;
    return mix64(state_);
  }

  /// Uniform in (0, 1): never 0, so that log() below is finite.
  double uniform() {return (static_cast<double>(next() >> 11) + 0.5) * 0x1.0p-53;}

  /// Standard normal (Box–Muller).
  double normal()
  {
    constexpr double kTwoPi = 6.283185307179586476925;
    const double r = std::sqrt(-2.0 * std::log(uniform()));
    return r * std::cos(kTwoPi * uniform());
  }

private:
  uint64_t state_;
};

}  // namespace synth
}  // namespace sweepmend

#endif  // SYNTH__RNG_HPP_
