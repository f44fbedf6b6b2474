// The quarnel program: the command line, and the one place where a stop or a
// file error becomes the console report and the exit status.

#include <iostream>
#include <new>
#include <string>
#include <string_view>
#include <thread>

#include "cli/front_ends.h"
#include "cli/options.h"
#include "common/stop.h"
#include "layout/layout.h"

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
  std::cout.flush();
  std::cerr << error.file;
  if (error.line > 0) {
    std::cerr << ':' << error.line;
  }
  std::cerr << ": " << error.what << '\n';
  return common::FILE_ERROR_STATUS;
}

int run(cli::Options options, layout::Sink& console) {
  if (options.threads == 0) {
    options.threads = hardware_threads();
  }
  if (options.genotypes.empty()) {
    cli::run_classic(options, console);
    layout::write(console, "('Stop - Program terminated.')");
  } else {
    cli::run_genotype_table(options, console);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const cli::ParsedCommand command = cli::parse_options(argc, argv);
  switch (command.action) {
    case cli::ParsedCommand::Action::help:
    case cli::ParsedCommand::Action::version:
      std::cout << command.text;
      return 0;
    case cli::ParsedCommand::Action::usage_error:
      std::cerr << "quarnel: " << command.text << "\nRun 'quarnel --help' for the options.\n";
      return common::FILE_ERROR_STATUS;
    case cli::ParsedCommand::Action::run:
      break;
  }

  layout::StreamSink console(std::cout, layout::LineEnd::lf);
  try {
    return run(command.options, console);
  } catch (const common::Stop& stop) {
    return report_stop(stop, console);
  } catch (const common::FileError& error) {
    return report_file_error(error);
  } catch (const std::bad_alloc&) {
    std::cout.flush();
    std::cerr << "quarnel: not enough memory for this data set\n";
    return common::FILE_ERROR_STATUS;
  }
}
