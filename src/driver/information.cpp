#include <algorithm>
#include <cstdint>
#include <set>
#include <string>

#include "common/count.h"
#include "driver/summary_internal.h"
#include "layout/layout.h"

namespace driver {

namespace {

// The locus name of a system, as the notes call it.
std::string locus_name(const common::RunInput& input, int system) {
  return system < common::count_of(input.locus_names)
             ? input.locus_names[system]
             : "system " + layout::integer_text(system + 1);
}

bool untyped_in(const common::RunInput& input, int p, int system) {
  if (p >= common::count_of(input.untyped_systems)) {
    return false;
  }
  const std::vector<int>& untyped = input.untyped_systems[p];
  return std::find(untyped.begin(), untyped.end(), system) != untyped.end();
}

// Alleles typed at a system in population p (a missing typing is blank); 0
// for a system nobody there has typed.
int typed_alleles(const common::RunInput& input, int p, int system) {
  if (untyped_in(input, p, system)) {
    return 0;
  }
  std::set<std::string_view> alleles;
  for (const common::RecordTypings& typings : input.populations.phenotype_table[p]) {
    for (const int k : {2 * system, 2 * system + 1}) {
      const std::string_view allele = typings[k].trimmed();
      if (!allele.empty()) {
        alleles.insert(allele);
      }
    }
  }
  return common::count_of(alleles);
}

}  // namespace

InformationNotes information_notes(const common::RunInput& input, int p) {
  InformationNotes told;
  const int individuals = input.populations.population_record_count(p);
  if (individuals < 2) {
    told.informative = false;
    told.notes.push_back("no information: " + layout::integer_text(individuals) + " individual" +
                         (individuals == 1 ? "" : "s"));
    return told;
  }
  const common::Grouping& null = input.null_grouping;
  std::vector<std::string> untyped;
  std::vector<std::string> monomorphic;
  int informative_groups = 0;
  for (int g = 0; g < null.group_total(); ++g) {
    // A group of several loci has two values as soon as one of them has two alleles.
    // Its loci untyped in the population are left out of it.
    int most = 0;
    std::string loci;
    std::vector<std::string> untyped_loci;
    for (const int system : null.group_systems[g]) {
      most = std::max(most, typed_alleles(input, p, system));
      loci += (loci.empty() ? "" : "+") + locus_name(input, system);
      if (untyped_in(input, p, system)) {
        untyped_loci.push_back(locus_name(input, system));
      }
    }
    if (most == 0) {
      untyped.push_back(loci);
      continue;
    }
    untyped.insert(untyped.end(), untyped_loci.begin(), untyped_loci.end());
    if (most == 1) {
      monomorphic.push_back(loci);
    } else {
      ++informative_groups;
    }
  }
  // A monomorphic group adds the same to both log-likelihoods and nothing to
  // df: keeping it in the fit is leaving it out of the test. An untyped one
  // was made monomorphic by the front end (its typings filled with one
  // allele), or, without that, cannot be completed at all.
  const bool untyped_filled = p < common::count_of(input.untyped_systems);
  told.informative = (untyped.empty() || untyped_filled) && informative_groups >= 2;
  const std::string kept_out = told.informative ? "left out: locus " : "no information: locus ";
  for (const std::string& loci : untyped) {
    told.notes.push_back(kept_out + loci + " untyped");
  }
  for (const std::string& loci : monomorphic) {
    told.notes.push_back(kept_out + loci + " monomorphic");
  }
  return told;
}

std::string sparse_note(const common::RunInput& input, int p, int individuals) {
  const double sampled = 2.0 * individuals;
  double largest = 0.0;
  for (const std::vector<int>& group : input.alt_grouping.group_systems) {
    double possible = 1.0;
    for (const int system : group) {
      possible *= std::max(1, typed_alleles(input, p, system));
    }
    largest = std::max(largest, possible);
  }
  if (!(largest > 10.0 * sampled)) {
    return {};
  }
  const std::string possible =
      largest < 9e18 ? layout::integer_text(static_cast<std::int64_t>(largest)) : "over 9e18";
  return "sparse: " + possible + " possible haplotypes for " +
         layout::integer_text(static_cast<std::int64_t>(sampled)) + " sampled";
}

std::vector<std::string> sparse_notes(const common::RunInput& input,
                                      const common::RunResults& results) {
  std::vector<std::string> notes;
  for (int p = 0; p < common::count_of(results.populations); ++p) {
    const common::PopulationResult& result = results.populations[p];
    notes.push_back(result.informative ? sparse_note(input, p, result.individuals) : std::string());
  }
  return notes;
}

void add_fit_notes(const std::vector<std::string>& sparse, common::RunResults& results) {
  for (int p = 0; p < common::count_of(results.populations); ++p) {
    common::PopulationResult& result = results.populations[p];
    if (!result.informative) {
      continue;
    }
    if (result.capped_fits > 0) {
      const int fits = 2 + common::count_of(result.permuted_statistic);
      result.notes.push_back("estimation cap: " + layout::integer_text(result.capped_fits) +
                             " of " + layout::integer_text(fits) +
                             " fits reached the iteration limit");
    }
    if (p < common::count_of(sparse) && !sparse[p].empty()) {
      result.notes.push_back(sparse[p]);
    }
  }
}

}  // namespace driver
