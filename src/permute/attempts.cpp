#include <cassert>

#include "common/limits.h"
#include "layout/layout.h"
#include "permute/permute.h"

namespace permute {

// Data set numbers 1..permutation_count keep their values everywhere; only
// the count table is stored from 0.
std::size_t TryCounts::count_slot(int dataset_number) const {
  assert(dataset_number >= 1 && dataset_number <= static_cast<int>(try_count_.size()));
  return static_cast<std::size_t>(dataset_number) - 1;
}

AttemptStatus TryCounts::begin_attempt(int dataset_number) {
  int& count = try_count_[count_slot(dataset_number)];
  ++count;
  return count >= common::MAX_TRIES ? AttemptStatus::too_many : AttemptStatus::ok;
}

int TryCounts::try_count(int dataset_number) const {
  return try_count_[count_slot(dataset_number)];
}

void write_abort_listing(int dataset_number, const TryCounts& try_counts, layout::Sink& log) {
  layout::write(log,
                "(/,/,'FATAL PROBLEM',/,' The Quarnel job is aborting due to an ',"
                "'excessive amount of missing data.',/,/,"
                "'Cycle number of permuted dataset at abort: ',I6,/,"
                "'Solution: eliminate records with missing data: ',/,"
                "'fill in missing typings or delete partial records',/,/,"
                "' MAXTRIES = ',I5,' for each permuted data set.',/,/,"
                "' Listing below only those datasets with multiple',' attempts to permute.',/)",
                {dataset_number, common::MAX_TRIES});
  for (int i = 1; i <= dataset_number; ++i) {
    const int tries = try_counts.try_count(i);
    if (tries >= 2) {
      layout::write(log, "(' Dataset ',I4,' Tries =',I4)", {i, tries});
    }
  }
}

std::string too_many_tries_explanation(int dataset_number) {
  const int abandoned = common::MAX_TRIES - 1;
  return "permuted data set " + layout::integer_text(dataset_number) +
         " could not be built: " + layout::integer_text(abandoned) +
         " attempts in a row gave an individual with missing typings in two or more systems, or"
         " in more systems than are typed, and " +
         layout::integer_text(abandoned) +
         " is the most allowed; the log lists the data sets that needed more than one attempt."
         " Too many records have missing typings: fill in missing typings or delete partial"
         " records";
}

}  // namespace permute
