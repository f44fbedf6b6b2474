#include <optional>
#include <string>

#include "cli/front_ends.h"
#include "cli/memory.h"
#include "cli/result_files.h"
#include "cli/run_notes.h"
#include "common/run.h"
#include "driver/driver.h"
#include "input/input.h"

namespace cli {
namespace {

// The names of the result tables: the header's allele names and the
// population names without their trailing blanks, the systems by number.
void name_classic_input(common::RunInput& input) {
  const common::SystemTables& systems = input.systems;
  for (int s = 0; s < systems.system_count(); ++s) {
    input.locus_names.push_back(layout::integer_text(s + 1));
    std::vector<std::string>& names = input.allele_names.emplace_back();
    for (const common::Typing& name : systems.allele_name[s]) {
      names.emplace_back(name.trimmed());
    }
  }
  for (const common::PopulationName& name : input.populations.population_names) {
    input.population_names.emplace_back(name.trimmed());
  }
}

// What the run survived, once each on the help channel: the console holds
// the lines themselves, one per event.
void warn_about_the_run(const common::RunResults& results, layout::Sink& help) {
  if (results.not_converged > 0) {
    help.write_record("warning: " + not_converged_text(results.not_converged, results.estimations) +
                      " (200 iterations each); their last estimates were used (see the "
                      "console's WARNING lines)");
  }
  if (results.redrawn_attempts > 0) {
    help.write_record("warning: " + layout::integer_text(results.redrawn_attempts) +
                      " attempts at permuted data sets were abandoned and drawn again, because "
                      "a permuted individual had typings missing in two or more systems (the "
                      "ABORTING blocks on the console); fill in missing typings, or leave out "
                      "individuals missing several systems, to avoid it");
  }
}

}  // namespace

common::RunOptions run_options(const Options& options) {
  common::RunOptions run;
  run.permutations = options.permutations;
  run.seed = options.seed;
  run.threads = options.threads;
  run.stop_after = options.stop_after;
  run.max_memory = memory_budget(options.max_memory);
  return run;
}

void run_classic(const Options& options, layout::Sink& console, layout::Sink& help,
                 output::Interrupts* interrupts) {
  // The result tables are reserved before group.dat is opened, so a run that
  // could not write them is refused before it writes anything.
  const std::string prefix = output_prefix(options.out, "quarnel");
  std::optional<output::OutputSet> outputs;
  if (!options.out.empty()) {
    outputs.emplace(result_paths(prefix, {}), prefix, interrupts);
  }
  input::RunFiles files = input::open_run_files("group.dat");
  // The report is the classic rules' (created empty at the start, left so
  // on a stop); a second run on it while this one lives is refused.
  const output::RunLock report_lock(files.report_file_name + ".lock",
                                    "the report " + files.report_file_name, interrupts);
  layout::LogSink log(files.report_file_name + ".log");
  const layout::Sinks sinks{console, log, *files.report, &help};

  common::RunInput input;
  const layout::LayoutList record_layout =
      input::read_data_header(*files.data, input.systems, sinks);
  input::read_phenotype_records(*files.data, input.systems, record_layout, input.populations,
                                sinks);
  input::read_groupings(*files.control, input.systems, input.null_grouping, input.alt_grouping,
                        sinks);
  files.control.reset();  // the control file is read once; close it
  files.control_stream.reset();
  name_classic_input(input);
  // The classic run goes on as it always has (its output is fixed), but
  // such a test means nothing, and the user is told so.
  const std::string problem = common::grouping_problem(
      input.null_grouping.group_systems, input.alt_grouping.group_systems,
      [](int system) { return "system " + layout::integer_text(system + 1); });
  if (!problem.empty()) {
    help.write_record("warning: group.dat: the groupings make no test: " + problem);
  }

  driver::ClassicObserver observer(console, log);
  const common::RunResults results =
      driver::run_analysis(input, run_options(options), sinks, observer);
  warn_about_the_run(results, help);
  if (outputs) {
    results::ResultSet set;
    set.input = &input;
    set.results = &results;
    (void)write_results(*outputs, prefix, {}, set);
    outputs->commit();
  }
}

}  // namespace cli
