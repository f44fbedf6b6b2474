// The quarnel program: the command line, and the one place where a stop or a
// file error becomes the console report and the exit status.

#include <iostream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/stop.h"
#include "driver/command_line_internal.h"
#include "driver/driver.h"
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
int run_program(driver::RunOptions& options, layout::Sink& help) {
  layout::StreamSink console(std::cout, layout::LineEnd::lf);
  options.help = &help;
  try {
    driver::run(options, console);
    layout::write(console, "('Stop - Program terminated.')");
    return 0;
  } catch (const common::Stop& stop) {
    const int code = report_stop(stop, console);
    help.write_record(layout::stop_help_line(stop));
    return code;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  const driver::CommandLine command = driver::parse_command_line(arguments);
  switch (command.action) {
    case driver::CommandLine::Action::help:
      std::cout << driver::USAGE_TEXT;
      return console_status();
    case driver::CommandLine::Action::version:
      std::cout << "quarnel " << QUARNEL_VERSION << '\n';
      return console_status();
    case driver::CommandLine::Action::usage_error:
      std::cerr << "quarnel: " << layout::printable(command.error) << "\n\n" << driver::USAGE_TEXT;
      return common::FILE_ERROR_STATUS;
    case driver::CommandLine::Action::run:
      break;
  }

  // Standard error is the help channel: a failure to write there does not
  // end the run.
  layout::StreamSink help(std::cerr, layout::LineEnd::lf, "standard error",
                          layout::WriteFailure::ignored);
  driver::RunOptions options;
  options.threads = command.threads > 0 ? command.threads : hardware_threads();
  try {
    return run_program(options, help);
  } catch (const common::FileError& error) {
    return report_file_error(error);
  } catch (const std::bad_alloc&) {
    std::cerr << "quarnel: not enough memory for this data set\n";
    return common::FILE_ERROR_STATUS;
  }
}
