#include <string>

#include "cli/front_ends.h"
#include "cli/memory.h"
#include "common/run.h"
#include "driver/driver.h"
#include "input/input.h"

namespace cli {
namespace {

// The names of the result tables: the header's allele names and the
// population names without their trailing blanks, the systems by number.
void name_classic_input(common::RunInput& input) {
  const common::SystemTables& systems = input.systems;
  for (int s = 0; s < systems.system_count; ++s) {
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

}  // namespace

common::RunOptions run_options(const Options& options) {
  common::RunOptions run;
  run.permutations = options.permutations;
  run.seed = options.seed;
  run.threads = options.threads;
  run.max_memory = memory_budget(options.max_memory);
  return run;
}

void run_classic(const Options& options, layout::Sink& console, layout::Sink& help) {
  input::RunFiles files = input::open_run_files("group.dat");
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

  const common::RunResults results = driver::run_analysis(input, run_options(options), sinks);
  (void)results;
}

}  // namespace cli
