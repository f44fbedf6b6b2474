#include <vector>

#include "common/count.h"
#include "common/limits.h"
#include "input/input.h"

namespace input {
namespace {

// The 21st population: the records from it on are not used.
void write_population_limit_warning(const common::PopulationName& last_kept,
                                    const layout::Sinks& sinks) {
  constexpr layout::LayoutText warning =
      "(/,/,/,' NON-FATAL PROBLEM',5X,'MORE THAN ',I2,' SAMPLE POPLUATIONS FOUND ON INPUT',/,/,"
      "'  Will NOT Process any samples after ',A20,/,/)";
  const std::initializer_list<layout::WriteValue> values = {common::MAX_POPULATIONS,
                                                            last_kept.view()};
  layout::write(sinks.log, warning, values);
  layout::write(sinks.console, warning, values);
}

[[noreturn]] void stop_no_records(const layout::Sinks& sinks) {
  constexpr layout::LayoutText message =
      "(/,/,' ABORTING JOB',/,/,' No phenotype data records on input file.',/)";
  layout::write(sinks.log, message);
  layout::write(sinks.console, message);
  throw common::Stop{common::StopCode::no_records};
}

// Adds one record to the current population, or to a new one when its name
// differs from the current population's (trailing blanks ignored). Returns
// false, after the warning, for the record that would open a 21st population.
[[nodiscard]] bool store_record(const common::PopulationName& record_population,
                                const common::RecordTypings& record_typings,
                                common::Populations& populations, const layout::Sinks& sinks) {
  const bool new_population =
      populations.population_count == 0 || record_population != populations.population_names.back();
  if (new_population) {
    if (populations.population_count == common::MAX_POPULATIONS) {
      write_population_limit_warning(populations.population_names.back(), sinks);
      return false;
    }
    ++populations.population_count;
    populations.population_names.push_back(record_population);
    populations.population_record_count.push_back(0);
    populations.phenotype_table.emplace_back();
  }
  populations.phenotype_table.back().push_back(record_typings);
  ++populations.population_record_count.back();
  return true;
}

}  // namespace

void read_phenotype_records(layout::RecordReader& data, const common::SystemTables& systems,
                            const layout::LayoutList& record_layout,
                            common::Populations& populations, const layout::Sinks& sinks) {
  populations = common::Populations{};
  common::PopulationName record_population;
  common::RecordTypings record_typings{};
  std::vector<layout::ReadTarget> targets{layout::target(record_population)};
  for (int k = 0; k < systems.typing_count(); ++k) {
    targets.push_back(layout::target(record_typings[k]));
  }
  // A record the file ends inside is dropped: end of file ends the reading
  // whatever the read had filled.
  while (data.read(record_layout, targets) == layout::ReadStatus::ok) {
    if (!store_record(record_population, record_typings, populations, sinks)) {
      break;
    }
  }
  if (populations.population_count == 0) {
    stop_no_records(sinks);
  }
}

}  // namespace input
