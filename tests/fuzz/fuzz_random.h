#pragma once
// The fuzzers' one source of randomness: a small deterministic generator (SplitMix64). Every
// input is made from a generator seeded by the run's seed, the parser and the iteration alone,
// so any input can be made again without running the ones before it.

#include <cstddef>
#include <cstdint>

class FuzzRandom {
 public:
  explicit FuzzRandom(uint64_t seed) : state_(seed) {}

  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, n); 0 when n is 0.
  size_t Below(size_t n) { return n == 0 ? 0 : static_cast<size_t>(Next() % n); }
  // True once in n calls on average.
  bool OneIn(size_t n) { return Below(n) == 0; }
  // In [low, high].
  size_t Between(size_t low, size_t high) { return low + Below(high - low + 1); }
  template <typename T, size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(N)];
  }

 private:
  uint64_t state_;
};

// The generator state of one input: the run's seed, the parser's number and the iteration.
inline uint64_t InputSeed(uint64_t seed, uint32_t parser, uint64_t iteration) {
  FuzzRandom mix(seed ^ (static_cast<uint64_t>(parser) << 56));
  uint64_t a = mix.Next();
  FuzzRandom second(a ^ (iteration * 0xD1B54A32D192ED03ull));
  return second.Next();
}
