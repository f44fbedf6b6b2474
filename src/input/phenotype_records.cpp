#include <string>
#include <vector>

#include "common/count.h"
#include "common/limits.h"
#include "input/input.h"
#include "input/input_internal.h"

namespace input {
namespace {

// The 21st population: the records from it on are not used.
void write_population_limit_warning(const common::PopulationName& last_kept,
                                    const layout::Sinks& sinks) {
  // POPLUATIONS is the classic warning's own spelling, kept byte for byte on
  // purpose: users' scripts and stored logs match these exact bytes. Do not
  // correct it.
  constexpr layout::LayoutText warning =
      "(/,/,/,' NON-FATAL PROBLEM',5X,'MORE THAN ',I2,' SAMPLE POPLUATIONS FOUND ON INPUT',/,/,"
      "'  Will NOT Process any samples after ',A20,/,/)";
  const std::initializer_list<layout::WriteValue> values = {common::MAX_POPULATIONS,
                                                            last_kept.view()};
  layout::write(sinks.log, warning, values);
  layout::write(sinks.console, warning, values);
}

[[noreturn]] void stop_no_records(const layout::RecordReader& data, const layout::Sinks& sinks) {
  constexpr layout::LayoutText message =
      "(/,/,' ABORTING JOB',/,/,' No phenotype data records on input file.',/)";
  layout::write_then_stop(
      {{message}}, {&sinks.log, &sinks.console},
      common::Stop{common::StopCode::no_records,
                   data.name() +
                       " holds no phenotype record after its header (the file ends"
                       " after line " +
                       layout::integer_text(data.line_number()) +
                       "; a record the file ends inside is dropped): add the records after"
                       " the three lines that follow the record layout"});
}

// Where a record starts and whose it is, for the help channel.
struct RecordPlace {
  const layout::RecordReader& data;
  int first_line = 0;  // the record's first line
};

std::string shown_name(const common::PopulationName& name) {
  return "\"" + layout::printable(name.trimmed()) + "\"";
}

// A name that comes back after other populations starts a new population of
// the same name, as the records say; the user is told, since an unsorted file
// reads as populations that are not there.
void tell_if_recurring(const common::PopulationName& record_population,
                       const common::Populations& populations, const RecordPlace& place,
                       const layout::Sinks& sinks) {
  for (int p = 0; p < populations.population_count(); ++p) {
    if (populations.population_names[static_cast<std::size_t>(p)] == record_population) {
      layout::write_help(sinks,
                         "warning: " + detail::file_line(place.data, place.first_line) +
                             ": records of population " + shown_name(record_population) +
                             " come back after other populations; they start population number " +
                             layout::integer_text(populations.population_count() + 1) +
                             " of the same name, analysed apart from population number " +
                             layout::integer_text(p + 1) +
                             ": put the records of one population together if they are one");
      return;
    }
  }
}

// Adds one record to the current population, or to a new one when its name
// differs from the current population's (trailing blanks ignored). Returns
// false, after the warning, for the record that would open a 21st population.
[[nodiscard]] bool store_record(const common::PopulationName& record_population,
                                const common::RecordTypings& record_typings,
                                const RecordPlace& place, common::Populations& populations,
                                const layout::Sinks& sinks) {
  const bool new_population = populations.population_count() == 0 ||
                              record_population != populations.population_names.back();
  if (new_population) {
    if (populations.population_count() == common::MAX_POPULATIONS) {
      write_population_limit_warning(populations.population_names.back(), sinks);
      layout::write_help(
          sinks, "warning: " + detail::file_line(place.data, place.first_line) + ": population " +
                     shown_name(record_population) +
                     " would be the 21st; at most 20 populations are analysed, so its records"
                     " and all later ones are not used: split the data file into runs of at"
                     " most 20 populations");
      return false;
    }
    tell_if_recurring(record_population, populations, place, sinks);
    populations.population_names.push_back(record_population);
    populations.phenotype_table.emplace_back();
  }
  populations.phenotype_table.back().push_back(record_typings);
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
  for (RecordPlace place{data, data.line_number() + 1};
       data.read(record_layout, targets) == layout::ReadStatus::ok;
       place.first_line = data.line_number() + 1) {
    if (!store_record(record_population, record_typings, place, populations, sinks)) {
      break;
    }
  }
  if (populations.population_count() == 0) {
    stop_no_records(data, sinks);
  }
}

}  // namespace input
