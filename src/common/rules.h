#pragma once

#include <cstdint>
#include <string_view>

#include "common/limits.h"

// The two rule sets a run can follow. The classic rules are those of the
// fixed-column run, kept for runs that must reproduce its numbers; the
// maximum-likelihood rules are what the field means by these statistics:
// estimates at the maximum of the likelihood.

namespace common {

// How one EM estimation looks for the frequencies.
struct EstimationRules {
  // false: the classic fit. One uniform start; a floor under a phenotype's
  // pair mass in the E-step and inside the logarithm; the iterations end
  // when ln L moves by less than 0.001, or at max_iterations.
  // true: the maximum-likelihood fit. No floors; `starts` starts (start 0 the
  // uniform start perturbed, the others random, each drawn from the
  // estimation's start key); each runs accelerated EM steps until ln L stops
  // rising, at most max_iterations steps; the highest ln L wins.
  bool maximum = false;
  int starts = 1;
  int max_iterations = EM_MAX_ITERATIONS;
};

// EM steps one start of a maximum-likelihood fit may take: far above what
// real data need (a few hundred); a fit that reaches it is reported.
inline constexpr int ML_MAX_ITERATIONS = 100000;
// Starts of a maximum-likelihood fit unless --em-starts says otherwise.
inline constexpr int DEFAULT_EM_STARTS = 20;
// Each start keeps its loose fit until the polish: the bound keeps that small.
inline constexpr int MAX_EM_STARTS = 100;

// A run's rules: how it fits, which alleles a population has, how it
// permutes and how it judges. The engine reads these values; it never asks
// which rule set it runs under.
struct RuleSet {
  EstimationRules estimation{};
  // false: a missing typing is completed over the locus's alleles in the
  // whole input. true: over the alleles typed at the locus in the
  // individual's population; alleles untyped there are no values of the
  // population (nor counted in df, D' or Wn).
  bool alleles_per_population = false;
  // false: the classic shuffle; a permuted individual that receives missing
  // typings at two loci abandons the data set, which is drawn again.
  // true: donors are exchanged only between records of the same pattern of
  // missing typings at the null group, so no data set is abandoned.
  bool keep_missing_patterns = false;
  // false: p = exceeding / N, ties by exact equality.
  // true: ties within a tolerance of the likelihoods' size, p = (exceeding +
  // ties + 1) / (N + 1) with its Clopper-Pearson interval, and a test
  // without information reported as such.
  bool judged_with_ties = false;
};

inline constexpr RuleSet CLASSIC_RULES{};

[[nodiscard]] constexpr RuleSet maximum_likelihood_rules(int starts) {
  return {{true, starts, ML_MAX_ITERATIONS}, true, true, true};
}

// Random numbers derived, not drawn: a counter-based hash (the SplitMix64
// finaliser) of a key and a word, so that any number of the run can be made
// alone, on any thread, in any order.
[[nodiscard]] constexpr std::uint64_t derive_key(std::uint64_t key, std::uint64_t word) {
  std::uint64_t z = key ^ (word + 0x9E3779B97F4A7C15ULL + (key << 6) + (key >> 2));
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

// A number in the open interval (0, 1) from a key and a counter.
[[nodiscard]] constexpr double derived_unit(std::uint64_t key, std::uint64_t counter) {
  constexpr double two_to_minus_53 = 1.0 / 9007199254740992.0;
  return (static_cast<double>(derive_key(key, counter) >> 11) + 0.5) * two_to_minus_53;
}

// The key of a text (a test's groupings, a population's name): FNV-1a over
// its bytes, then mixed.
[[nodiscard]] constexpr std::uint64_t text_key(std::string_view text) {
  std::uint64_t h = 0xCBF29CE484222325ULL;
  for (const char c : text) {
    h = (h ^ static_cast<unsigned char>(c)) * 0x100000001B3ULL;
  }
  return derive_key(h, text.size());
}

}  // namespace common
