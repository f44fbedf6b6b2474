#include <string>

#include "common/count.h"
#include "common/rules.h"
#include "driver/batch_internal.h"
#include "layout/layout.h"

namespace driver {

namespace {

// A grouping written by locus name: "A+B,C".
void append_grouping(const common::Grouping& grouping, const common::RunInput& input,
                     std::string& text) {
  for (int g = 0; g < grouping.group_total(); ++g) {
    text += g == 0 ? "" : ",";
    for (int j = 0; j < grouping.group_size(g); ++j) {
      const int system = grouping.group_systems[g][j];
      text += j == 0 ? "" : "+";
      text += system < common::count_of(input.locus_names)
                  ? input.locus_names[system]
                  : "system " + layout::integer_text(system + 1);
    }
  }
}

}  // namespace

StartKeys::StartKeys(const common::RunInput& input, std::int32_t seed) {
  std::string test;
  append_grouping(input.null_grouping, input, test);
  test += " vs ";
  append_grouping(input.alt_grouping, input, test);
  const std::uint64_t run_key =
      common::derive_key(common::text_key(test), static_cast<std::uint64_t>(seed));
  for (int p = 0; p < input.populations.population_count(); ++p) {
    const std::string name = p < common::count_of(input.population_names)
                                 ? input.population_names[p]
                                 : std::string(input.populations.population_names[p].trimmed());
    population_key_.push_back(common::derive_key(run_key, common::text_key(name)));
  }
  estimated.assign(population_key_.size(), 1);
}

std::uint64_t StartKeys::of(int population, int dataset_number, Model model) const {
  const std::uint64_t key =
      common::derive_key(population_key_[population], static_cast<std::uint64_t>(dataset_number));
  return common::derive_key(key, static_cast<std::uint64_t>(model));
}

}  // namespace driver
