#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/count.h"
#include "common/limits.h"
#include "input/input.h"
#include "input/input_internal.h"

namespace input {
namespace {

using layout::ReadStatus;
using layout::ReadTarget;

// The end of file exit of the header: once the system count is due, a
// missing line is announced on the console, in the log and in the report.
// `due` names what the missing line holds.
void require_header_line(ReadStatus status, const layout::RecordReader& data, std::string_view due,
                         const layout::Sinks& sinks) {
  if (status == ReadStatus::ok) {
    return;
  }
  constexpr layout::LayoutText end_of_file = "(/,' END OF FILE ENCOUNTERED UNEXPECTEDLY')";
  const std::string ends = data.line_number() == 0 ? data.name() + " is empty"
                                                   : data.name() + " ends after line " +
                                                         layout::integer_text(data.line_number());
  layout::write_then_stop(
      {{end_of_file}}, {&sinks.console, &sinks.log, &sinks.report},
      common::Stop{common::StopCode::header_end_of_file,
                   ends + ", inside the data file header, where " + std::string(due) +
                       " is due; complete the header, or name the right data file in the"
                       " control file"});
}

// What the lines of system s hold, as require_header_line names them.
std::string due_of_system(std::string_view what, int s) {
  return std::string(what) + " of system " + layout::integer_text(s + 1);
}

// The allele-name line: six columns per allele, the name right before the
// sixth column.
layout::LayoutText allele_name_layout(int width) {
  switch (width) {
    case 1:
      return "(20(4X,A1,1X))";
    case 2:
      return "(20(3X,A2,1X))";
    case 3:
      return "(20(2X,A3,1X))";
    case 4:
      return "(20(1X,A4,1X))";
    default:
      return "(20(A5,1X))";
  }
}

struct AlleleList {
  std::vector<common::Typing> names;
  std::vector<char> codes;
};

// Where an allele is and what breaks: the line of the header, the system and
// the allele with its name; then the rule and what to do, in plain words.
struct BadAllele {
  const layout::RecordReader& data;
  const std::string& system;  // as layout::system_text shows it
  int s = 0;
  int code_line = 0;  // the line of the code letters; the names are the line before
};

[[noreturn]] void stop_bad_allele(const BadAllele& where, int a, const AlleleList& alleles,
                                  layout::LayoutText rule,
                                  std::initializer_list<layout::WriteValue> rule_values,
                                  bool in_name, std::string_view explanation,
                                  const layout::Sinks& sinks) {
  constexpr layout::LayoutText heading =
      "(/,' FATAL ERROR:',/,' Invalid allele in the data file header.',/,"
      "' Genetic system number ',I2,', allele number ',I2,' (allele name \"',A,'\"):')";
  const std::string name = layout::printable(alleles.names[a].trimmed());
  const std::initializer_list<layout::WriteValue> heading_values = {where.s + 1, a + 1,
                                                                    std::string_view(name)};
  layout::write_then_stop(
      {{heading, heading_values}, {rule, rule_values}}, {&sinks.console, &sinks.log},
      common::Stop{common::StopCode::bad_code_letter,
                   detail::file_line(where.data, in_name ? where.code_line - 1 : where.code_line) +
                       ": " + where.system + ", allele " + layout::integer_text(a + 1) + " (\"" +
                       name + "\"): " + std::string(explanation)});
}

// A typing that is blank at the name width counts as missing, so an allele
// whose name is blank there could never be typed: its typings would be
// completed over all alleles as if missing, or stop the run without a word.
// Code letters build the phenotype codes and haplotype labels, where "?"
// marks a missing typing and "^" an empty part, and where two alleles with
// one letter could not be told apart.
void check_allele_list(const BadAllele& where, int width, const AlleleList& alleles,
                       const layout::Sinks& sinks) {
  constexpr std::string_view own_letter =
      "; give every allele of the system its own code letter, other than \"?\" and \"^\"";
  const int count = common::count_of(alleles.codes);
  for (int a = 0; a < count; ++a) {
    if (alleles.names[a][static_cast<std::size_t>(width - 1)] == ' ') {
      stop_bad_allele(where, a, alleles,
                      "(' the name is blank in the last of its ',I1,' columns; typings of it"
                      " would read as missing.')",
                      {width}, true,
                      "the name is blank in the last of its " + layout::integer_text(width) +
                          " columns, so typings of it would read as missing; end every allele"
                          " name in the last column of its field",
                      sinks);
    }
    const char code = alleles.codes[a];
    if (code == ' ') {
      stop_bad_allele(where, a, alleles, "(' the code letter is blank.')", {}, false,
                      "the code letter is blank" + std::string(own_letter), sinks);
    }
    if (code == common::MISSING_CODE || code == common::EMPTY_PART_MARK) {
      const std::string letter = layout::printable(std::string_view(&code, 1));
      stop_bad_allele(
          where, a, alleles, "(' the code letter ',A,' is reserved.')", {std::string_view(letter)},
          false, "the code letter \"" + letter + "\" is reserved" + std::string(own_letter), sinks);
    }
    for (int earlier = 0; earlier < a; ++earlier) {
      if (alleles.codes[earlier] == code) {
        const std::string letter = layout::printable(std::string_view(&code, 1));
        stop_bad_allele(where, a, alleles,
                        "(' the code letter ',A,' is that of allele number ',I2,' as well.')",
                        {std::string_view(letter), earlier + 1}, false,
                        "the code letter \"" + letter + "\" is that of allele " +
                            layout::integer_text(earlier + 1) + " as well" +
                            std::string(own_letter),
                        sinks);
      }
    }
  }
}

// The names and code letters of system s, each list in one read.
AlleleList read_allele_list(layout::RecordReader& data, int s, int allele_count, int width,
                            const layout::Sinks& sinks) {
  // A count of 0 or less declares no allele; its two lines are still consumed.
  const int n = allele_count > 0 ? allele_count : 0;
  AlleleList alleles{std::vector<common::Typing>(static_cast<std::size_t>(n)),
                     std::vector<char>(static_cast<std::size_t>(n), ' ')};
  std::vector<ReadTarget> targets;
  for (common::Typing& name : alleles.names) {
    targets.push_back(layout::target(name));
  }
  require_header_line(data.read(allele_name_layout(width), targets), data,
                      due_of_system("the allele names", s), sinks);
  targets.clear();
  for (char& code : alleles.codes) {
    targets.emplace_back(std::span<char>(&code, 1));
  }
  require_header_line(data.read("(20(4X,A1,1X))", targets), data,
                      due_of_system("the code letters", s), sinks);
  return alleles;
}

// The six lines of system s (0-based).
void read_system(layout::RecordReader& data, int s, common::SystemTables& systems,
                 const layout::Sinks& sinks) {
  common::FixedText<30> title;
  require_header_line(data.read("(A30)", {layout::target(title)}), data,
                      due_of_system("the title", s), sinks);
  systems.system_title.push_back(title);
  const std::string system = layout::system_text(systems, s);
  int allele_count = 0;
  require_header_line(data.read("(I5)", {layout::target(allele_count)}), data,
                      due_of_system("the allele count", s), sinks);
  if (allele_count > common::MAX_ALLELES) {
    throw common::Stop{common::StopCode::allele_count,
                       detail::file_line(data, data.line_number()) + ": " + system + " declares " +
                           layout::integer_text(allele_count) +
                           " alleles; a system may have at most 14: pool rare alleles into fewer"
                           " classes, or leave the system out"};
  }
  int width = 0;
  const int count_line = data.line_number();
  const ReadStatus width_status = data.read("(I5,/)", {layout::target(width)});
  require_header_line(width_status, data,
                      data.line_number() == count_line
                          ? due_of_system("the allele-name width", s)
                          : due_of_system("the free line after the allele-name width", s),
                      sinks);
  if (width > common::MAX_NAME_WIDTH || width < 1) {
    throw common::Stop{common::StopCode::name_width,
                       detail::file_line(data, data.line_number() - 1) + ": " + system +
                           " gives the allele-name width " + layout::integer_text(width) +
                           "; the width must be 1 to 5: use allele names of at most 5"
                           " characters"};
  }
  AlleleList alleles = read_allele_list(data, s, allele_count, width, sinks);
  check_allele_list({data, system, s, data.line_number()}, width, alleles, sinks);
  systems.allele_count.push_back(allele_count);
  systems.allele_name_width.push_back(width);
  systems.allele_name.push_back(std::move(alleles.names));
  systems.allele_code.push_back(std::move(alleles.codes));
}

// The record layout and the three lines after it. The layout is parsed here,
// so a bad layout is reported at its own line even when no record follows.
layout::LayoutList read_record_format(layout::RecordReader& data, common::SystemTables& systems) {
  if (data.read("(/,A100)", {layout::target(systems.record_format)}) == ReadStatus::end_of_file) {
    detail::throw_end_of_file(data, "expected the record layout");
  }
  const int layout_line = data.line_number();
  const std::string_view text = systems.record_format.trimmed();
  const std::string shown = "record layout \"" + layout::printable(text) + "\"";
  layout::ParseResult result = layout::parse_layout(text);
  if (!result.list) {
    throw common::FileError{data.name(), layout_line,
                            shown + ", position " + layout::integer_text(result.error.position) +
                                ": " + result.error.what};
  }
  // Items with no meaning on input (text, Fw.d) are refused here rather than
  // at the first record.
  if (const std::string problem = layout::read_layout_problem(*result.list); !problem.empty()) {
    throw common::FileError{data.name(), layout_line, shown + ": " + problem};
  }
  if (data.read("(2(/))") == ReadStatus::end_of_file) {
    detail::throw_end_of_file(data, "expected three lines after the record layout");
  }
  return std::move(*result.list);
}

}  // namespace

layout::LayoutList read_data_header(layout::RecordReader& data, common::SystemTables& systems,
                                    const layout::Sinks& sinks) {
  systems = common::SystemTables{};
  int system_count = 0;
  require_header_line(data.read("(/,/,I5)", {layout::target(system_count)}), data,
                      "the system count (line 3)", sinks);
  if (system_count > common::MAX_SYSTEMS || system_count < common::MIN_SYSTEMS) {
    throw common::Stop{common::StopCode::system_count,
                       detail::file_line(data, data.line_number()) + ": the data file declares " +
                           layout::integer_text(system_count) +
                           " genetic systems; a run takes 2 to 10: analyse at most 10 systems in"
                           " one run"};
  }
  for (int s = 0; s < system_count; ++s) {
    read_system(data, s, systems, sinks);
  }
  return read_record_format(data, systems);
}

}  // namespace input
