#include <cassert>
#include <cstdint>
#include <limits>

#include "permute/permute.h"
#include "permute/permute_internal.h"

namespace permute {

namespace {

// One linear congruential generator x -> (multiplier x + increment) mod modulus.
// Every state stays in 0..modulus-1, so the largest intermediate value,
// 7141 x 259199 + 54773 = 1850994832, fits in a signed 32-bit integer.
struct Congruential {
  std::int32_t modulus;
  std::int32_t multiplier;
  std::int32_t increment;

  [[nodiscard]] constexpr std::int32_t next(std::int32_t state) const {
    return (multiplier * state + increment) % modulus;
  }
};

constexpr Congruential FIRST{259200, 7141, 54773};
constexpr Congruential SECOND{134456, 8121, 28411};
constexpr Congruential SELECTOR{243000, 4561, 51349};

static_assert(std::int64_t{FIRST.multiplier} * (FIRST.modulus - 1) + FIRST.increment <=
              std::numeric_limits<std::int32_t>::max());
static_assert(std::int64_t{SECOND.multiplier} * (SECOND.modulus - 1) + SECOND.increment <=
              std::numeric_limits<std::int32_t>::max());
static_assert(std::int64_t{SELECTOR.multiplier} * (SELECTOR.modulus - 1) + SELECTOR.increment <=
              std::numeric_limits<std::int32_t>::max());

// The single-precision values nearest to 1/259200 and 1/134456, widened
// exactly to double. They are not the double reciprocals; "correcting" them
// would change every deviate of the run.
constexpr double SCALE1 = 3.8580246837227605e-06;
constexpr double SCALE2 = 7.4373774623381905e-06;

// A table value: the fine part second x SCALE2 (below 1) added to the coarse
// part first, then scaled. Written as two roundings; the build forbids the
// contraction into one fused multiply-add, which would change the value.
[[nodiscard]] double table_value(std::int32_t first, std::int32_t second) {
  const double fine = static_cast<double>(second) * SCALE2;
  return (static_cast<double>(first) + fine) * SCALE1;
}

}  // namespace

namespace internal {

std::int32_t seeded_first_state(std::int32_t seed) {
  // 54773 - seed must neither overflow nor be negative (a negative state
  // would give negative deviates); the run only ever passes 1.
  assert(seed <= FIRST.increment);
  assert(seed > FIRST.increment - std::numeric_limits<std::int32_t>::max() - 1);
  return (FIRST.increment - seed) % FIRST.modulus;
}

int slot_for_selector(std::int32_t selector_state) {
  assert(selector_state >= 0 && selector_state < SELECTOR.modulus);
  return (UniformRandom::SHUFFLE_SLOTS * selector_state) / SELECTOR.modulus;
}

}  // namespace internal

void UniformRandom::initialise(std::int32_t seed) {
  generator_started_ = true;
  first_state_ = FIRST.next(internal::seeded_first_state(seed));
  second_state_ = first_state_ % SECOND.modulus;
  first_state_ = FIRST.next(first_state_);
  selector_state_ = first_state_ % SELECTOR.modulus;
  for (double& slot : shuffle_table_) {
    first_state_ = FIRST.next(first_state_);
    second_state_ = SECOND.next(second_state_);
    slot = table_value(first_state_, second_state_);
  }
}

double UniformRandom::uniform_random(std::int32_t& seed) {
  if (seed < 0 || !generator_started_) {
    initialise(seed);
    seed = 1;
  }
  first_state_ = FIRST.next(first_state_);
  second_state_ = SECOND.next(second_state_);
  selector_state_ = SELECTOR.next(selector_state_);
  last_slot_ = internal::slot_for_selector(selector_state_);
  const double u = shuffle_table_[last_slot_];
  shuffle_table_[last_slot_] = table_value(first_state_, second_state_);
  return u;
}

}  // namespace permute
