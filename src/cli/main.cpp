// The quarnel program: the command line, and the one place where a stop or a
// file error becomes the console report and the exit status.

#include <iostream>
#include <new>
#include <string>
#include <string_view>
#include <thread>

#include "cli/console_tables.h"
#include "cli/front_ends.h"
#include "cli/options.h"
#include "common/stop.h"
#include "driver/driver.h"
#include "layout/layout.h"
#include "output/output.h"

namespace {

int hardware_threads() {
  const unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : static_cast<int>(n);
}

// "Return code N" with the full stop code; the exit status keeps its low 8 bits.
int report_stop(const common::Stop& stop, layout::Sink& console) {
  const int code = common::stop_number(stop.code);
  const std::string digits = layout::integer_text(code);
  layout::write(console, "('Return code ',A)", {std::string_view(digits)});
  return code;
}

int report_file_error(const common::FileError& error) {
  std::cerr << layout::file_error_line(error) << '\n';
  return common::FILE_ERROR_STATUS;
}

// Text written straight to standard output (help, version) must arrive too.
int console_status() {
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "standard output: cannot write\n";
    return common::FILE_ERROR_STATUS;
  }
  return 0;
}

// The run, its closing line and the report of a stop. A console write error
// anywhere in it, the "Return code" line included, is a FileError.
int run_program(cli::Options options, layout::Sink& help, output::Interrupts& interrupts) {
  layout::StreamSink console(std::cout, layout::LineEnd::lf);
  if (options.threads == 0) {
    options.threads = hardware_threads();
  }
  try {
    if (options.genotypes.empty()) {
      cli::run_classic(options, console, help, &interrupts);
      layout::write(console, "('Stop - Program terminated.')");
    } else {
      cli::TableConsole table_console(console);
      cli::run_genotype_table(options, table_console, help, &interrupts);
    }
    return 0;
  } catch (const common::Stop& stop) {
    const int code = report_stop(stop, console);
    help.write_record(layout::stop_help_line(stop));
    return code;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const cli::ParsedCommand command = cli::parse_options(argc, argv);
  switch (command.action) {
    case cli::ParsedCommand::Action::help:
    case cli::ParsedCommand::Action::version:
      std::cout << command.text;
      return console_status();
    case cli::ParsedCommand::Action::usage_error:
      std::cerr << "quarnel: " << layout::printable(command.text)
                << "\nRun 'quarnel --help' for the options.\n";
      return common::FILE_ERROR_STATUS;
    case cli::ParsedCommand::Action::run:
    case cli::ParsedCommand::Action::merge:
      break;
  }

  // Standard error is the help channel: a failure to write there does not
  // end the run.
  layout::StreamSink help(std::cerr, layout::LineEnd::lf, "standard error",
                          layout::WriteFailure::ignored);
  // Before any other thread starts: an interruption then removes what the
  // run has begun to write.
  driver::limit_allocator_arenas();
  output::Interrupts interrupts;
  try {
    if (command.action == cli::ParsedCommand::Action::merge) {
      layout::StreamSink console(std::cout, layout::LineEnd::lf);
      cli::TableConsole table_console(console);
      cli::run_merge(command.options.out, command.shard_files, table_console, help, &interrupts);
      return 0;
    }
    return run_program(command.options, help, interrupts);
  } catch (const common::FileError& error) {
    return report_file_error(error);
  } catch (const common::MemoryRefusal& refusal) {
    return report_file_error(common::FileError{"", 0, refusal.what});
  } catch (const std::bad_alloc&) {
    std::cerr << "quarnel: not enough memory for this data set\n";
    return common::FILE_ERROR_STATUS;
  }
}
