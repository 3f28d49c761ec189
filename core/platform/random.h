#pragma once

#include <cstdint>
#include <random>

namespace kalmora {

// Uniform numbers in [0, 1).
class Random {
public:
    virtual ~Random() = default;
    virtual double next() = 0;
};

// One generator per process, seeded once: by the system, or with a given seed (the same seed
// gives the same numbers).
class MtRandom final : public Random {
public:
    MtRandom();
    explicit MtRandom(std::uint64_t seed) : m_engine(seed) {}
    double next() override;

private:
    std::mt19937_64 m_engine;
    std::uniform_real_distribution<double> m_dist{0.0, 1.0};
};

} // namespace kalmora
