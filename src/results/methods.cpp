#include <cassert>
#include <map>
#include <string>
#include <string_view>

#include "results/results.h"

namespace results {
namespace {

// The methods paragraph of a table run under the maximum-likelihood rules.
// docs/method.md shows it with the placeholders' names
// (methods_placeholder_names); the report page with the run's values.
constexpr std::string_view METHODS_TEMPLATE =
    "{test} was tested in each of {populations} populations separately with Quarnel (version "
    "{version}), by a likelihood-ratio test whose null distribution was obtained by permutation. "
    "Haplotype frequencies were estimated from the unphased genotypes at the maximum of the "
    "likelihood (accelerated EM from {starts} starts of at most {iterations} steps each, the "
    "highest likelihood kept; a missing typing completed over the alleles typed at its locus in "
    "the individual's population) under the null model ({null}) and under the alternative "
    "({alt}). The statistic −2 (ln L0 − ln L1) of the observed data was compared with its values "
    "in {permutations} permuted data sets (seed {seed}), in which each individual kept its "
    "population and received the genotype at each locus from an individual drawn at random, "
    "independently for each locus, from those of its own population with the same missing "
    "typings; the permutation p-value is (exceeding + ties + 1) / (N + 1), a permuted statistic "
    "within 1e-6 (|ln L0| + |ln L1|) + 1e-9 of the observed one counting as a tie, with its 95 % "
    "Clopper-Pearson interval. The strength of disequilibrium is given as xi, the observed "
    "statistic standardised by the permutation distribution and scaled per individual, with its "
    "standard deviation{pairs}.";

}  // namespace

std::string methods_paragraph(const std::map<std::string, std::string, std::less<>>& values) {
  std::string text;
  std::string_view rest = METHODS_TEMPLATE;
  for (std::size_t open = rest.find('{'); open != std::string_view::npos; open = rest.find('{')) {
    const std::size_t close = rest.find('}', open);
    assert(close != std::string_view::npos);
    text += rest.substr(0, open);
    const auto value = values.find(rest.substr(open + 1, close - open - 1));
    assert(value != values.end());
    text += value->second;
    rest.remove_prefix(close + 1);
  }
  text += rest;
  return text;
}

std::map<std::string, std::string, std::less<>> methods_placeholder_names() {
  return {
      {"test",
       "Overall linkage disequilibrium among the *k* loci *L1, ..., Lk* (with `--pairs`: "
       "linkage disequilibrium between each pair of them)"},
      {"populations", "the *P*"},
      {"version", "*X*"},
      {"starts", "*s* (`--em-starts`, 20 by default)"},
      {"iterations", "100000"},
      {"null",
       "*null grouping*; by default each locus alone, in linkage equilibrium with the "
       "others"},
      {"alt", "*alternative grouping*; by default one group of all loci, multi-locus haplotypes"},
      {"permutations", "*N*"},
      {"seed", "*seed*"},
      {"pairs",
       " [with `--pairs`: and D' and Wn from the fitted two-locus haplotype frequencies; the "
       "pairs' p-values were also corrected for the number of pairs in each population (Holm; "
       "Benjamini-Hochberg)]"},
  };
}

}  // namespace results
