#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/count.h"
#include "common/limits.h"
#include "input/input.h"
#include "input/input_internal.h"

namespace input {
namespace {

using layout::ReadStatus;
using layout::ReadTarget;

enum class GroupingKind { null, alternative };

// What a message needs to know about the grouping being read.
struct GroupingContext {
  GroupingKind kind = GroupingKind::null;
  const common::SystemTables& systems;
  const layout::Sinks& sinks;
  const layout::RecordReader& control;
  int first_line = 0;  // the grouping's first line (its group count)

  [[nodiscard]] std::string_view name() const {
    return kind == GroupingKind::null ? "null" : "alternative";
  }
};

// Where a broken rule is: the line just read, or for a rule of the whole
// grouping the lines it stands on.
enum class RuleScope { line, grouping };

// Stops with 206 after the heading and the broken rule, console first. The
// explanation gives the rule in plain words.
[[noreturn]] void stop_bad_grouping(const GroupingContext& context, layout::LayoutText rule,
                                    std::initializer_list<layout::WriteValue> rule_values,
                                    RuleScope scope, std::string_view explanation) {
  constexpr layout::LayoutText heading =
      "(/,' FATAL ERROR:',/,' The ',A,' grouping of the control file is not valid.')";
  const std::initializer_list<layout::WriteValue> heading_values = {context.name()};
  const int last = context.control.line_number();
  const std::string where = scope == RuleScope::line
                                ? detail::file_line(context.control, last)
                                : context.control.name() + ", lines " +
                                      layout::integer_text(context.first_line) + "-" +
                                      layout::integer_text(last);
  layout::write_then_stop({{heading, heading_values}, {rule, rule_values}},
                          {&context.sinks.console, &context.sinks.log},
                          common::Stop{common::StopCode::bad_grouping,
                                       where + ": the " + std::string(context.name()) +
                                           " grouping: " + std::string(explanation) +
                                           "; correct the grouping in the control file"});
}

void require_control_line(ReadStatus status, const layout::RecordReader& control,
                          const GroupingContext& context) {
  if (status == ReadStatus::end_of_file) {
    detail::throw_end_of_file(control,
                              "the " + std::string(context.name()) + " grouping is incomplete");
  }
}

// The product of the allele counts of some systems, exact while its size is at
// most MAX_HAPLOTYPES and held at MAX_HAPLOTYPES + 1 (with its sign) beyond,
// so that ten counts cannot overflow. Counts of 0 or less come from systems
// without alleles, which stop the coding of the first individual anyway.
[[nodiscard]] int capped_product(const common::SystemTables& systems,
                                 std::span<const int> group_systems) {
  constexpr std::int64_t cap = common::MAX_HAPLOTYPES + 1;
  std::int64_t product = 1;
  for (const int s : group_systems) {
    product *= systems.allele_count[s];
    if (product > cap) {
      product = cap;
    } else if (product < -cap) {
      product = -cap;
    }
  }
  return static_cast<int>(product);
}

// One line of `count` numbers of the grouping, in columns of four.
std::vector<int> read_numbers_line(layout::RecordReader& control, const GroupingContext& context,
                                   int count) {
  std::vector<int> numbers(static_cast<std::size_t>(count), 0);
  std::vector<ReadTarget> targets;
  targets.reserve(numbers.size());
  for (int& number : numbers) {
    targets.push_back(layout::target(number));
  }
  require_control_line(control.read("(10I4)", targets), control, context);
  return numbers;
}

// The sizes line: the number of systems of each of the group_total groups.
std::vector<int> read_group_sizes(layout::RecordReader& control, const GroupingContext& context,
                                  int group_total) {
  std::vector<int> group_size = read_numbers_line(control, context, group_total);
  for (int g = 0; g < group_total; ++g) {
    const int size = group_size[g];
    if (size < 1 || size > common::MAX_GROUPS) {
      stop_bad_grouping(context, "(' Group ',I2,' has ',I4,' systems; a group has 1 to 10.')",
                        {g + 1, size}, RuleScope::line,
                        "group " + layout::integer_text(g + 1) + " has " +
                            layout::integer_text(size) + " systems; a group has 1 to 10");
    }
  }
  return group_size;
}

// The system line of group g, which names `size` systems; numbers are checked
// and stored 0-based. `group_of_system` tells, per 0-based system, the group
// that already holds it.
void read_group_systems(layout::RecordReader& control, const GroupingContext& context, int g,
                        int size, std::vector<int>& group_of_system, common::Grouping& grouping) {
  const std::vector<int> numbers = read_numbers_line(control, context, size);
  std::vector<int>& systems_of_group = grouping.group_systems.emplace_back();
  for (const int number : numbers) {
    if (number < 1 || number > context.systems.system_count()) {
      stop_bad_grouping(context,
                        "(' Group ',I2,' names system number ',I4,"
                        "'; the data file has systems 1 to ',I2,'.')",
                        {g + 1, number, context.systems.system_count()}, RuleScope::line,
                        "group " + layout::integer_text(g + 1) + " names system number " +
                            layout::integer_text(number) + "; the data file has systems 1 to " +
                            layout::integer_text(context.systems.system_count()));
    }
    const int s = number - 1;
    if (group_of_system[s] >= 0) {
      stop_bad_grouping(context,
                        "(' Group ',I2,' names system number ',I2,"
                        "', which group ',I2,' names already.')",
                        {g + 1, number, group_of_system[s] + 1}, RuleScope::line,
                        "group " + layout::integer_text(g + 1) + " names system " +
                            layout::integer_text(number) + ", which group " +
                            layout::integer_text(group_of_system[s] + 1) +
                            " names already; a grouping names each system at most once");
    }
    group_of_system[s] = g;
    systems_of_group.push_back(s);
  }
}

// The value totals of groups already known to hold at most MAX_HAPLOTYPES
// combinations.
void derive_group_values(const common::SystemTables& systems, common::Grouping& grouping) {
  for (const std::vector<int>& group_systems : grouping.group_systems) {
    grouping.group_value_total.push_back(common::value_total(systems, group_systems));
  }
}

void check_value_totals(const GroupingContext& context, const common::Grouping& grouping) {
  for (int g = 0; g < grouping.group_total(); ++g) {
    if (capped_product(context.systems, grouping.group_systems[g]) > common::MAX_HAPLOTYPES) {
      stop_bad_grouping(context,
                        "(' Group ',I2,' has more than 800 allele combinations; "
                        "at most 800 are allowed.')",
                        {g + 1}, RuleScope::grouping,
                        "group " + layout::integer_text(g + 1) +
                            " has more than 800 allele combinations (the product of its systems'"
                            " allele counts); at most 800 are allowed: split the group");
    }
  }
}

// A permuted record takes the typings of a system only through the null
// group that holds it, so the null grouping must hold every system.
void check_every_system_grouped(const GroupingContext& context,
                                const std::vector<int>& group_of_system) {
  for (int s = 0; s < context.systems.system_count(); ++s) {
    if (group_of_system[s] < 0) {
      stop_bad_grouping(context,
                        "(' System number ',I2,' is in no group; "
                        "the null grouping must hold every system.')",
                        {s + 1}, RuleScope::grouping,
                        layout::system_text(context.systems, s) +
                            " is in no group; the null grouping must hold every system of the"
                            " data file");
    }
  }
}

common::Grouping read_grouping(layout::RecordReader& control, GroupingKind kind,
                               const common::SystemTables& systems, const layout::Sinks& sinks) {
  const GroupingContext context{kind, systems, sinks, control, control.line_number() + 1};
  int group_total = 0;
  require_control_line(control.read("(I4)", {layout::target(group_total)}), control, context);
  // Checked before the sizes line is read: the count decides how many lines follow.
  if (group_total < 1 || group_total > common::MAX_GROUPS) {
    stop_bad_grouping(
        context, "(' It has ',I4,' groups; a grouping has 1 to 10.')", {group_total},
        RuleScope::line,
        "it has " + layout::integer_text(group_total) + " groups; a grouping has 1 to 10");
  }
  const std::vector<int> group_size = read_group_sizes(control, context, group_total);
  std::vector<int> group_of_system(static_cast<std::size_t>(context.systems.system_count()), -1);
  common::Grouping grouping;
  for (int g = 0; g < group_total; ++g) {
    read_group_systems(control, context, g, group_size[g], group_of_system, grouping);
  }
  check_value_totals(context, grouping);
  if (context.kind == GroupingKind::null) {
    check_every_system_grouped(context, group_of_system);
  }
  derive_group_values(context.systems, grouping);
  return grouping;
}

}  // namespace

void read_groupings(layout::RecordReader& control, const common::SystemTables& systems,
                    common::Grouping& null_grouping, common::Grouping& alt_grouping,
                    const layout::Sinks& sinks) {
  null_grouping = read_grouping(control, GroupingKind::null, systems, sinks);
  if (control.read("(2A)") == ReadStatus::end_of_file) {
    detail::throw_end_of_file(control, "expected the line between the two groupings");
  }
  alt_grouping = read_grouping(control, GroupingKind::alternative, systems, sinks);
}

}  // namespace input
