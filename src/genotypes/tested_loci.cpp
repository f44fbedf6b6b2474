// The loci a test takes and how they are grouped, from the command line:
// the groupings of --null and --alt, the loci of --loci, and the two-locus
// test of a locus pair.

#include <algorithm>
#include <optional>
#include <string>

#include "common/count.h"
#include "common/limits.h"
#include "common/stop.h"
#include "genotypes/genotypes.h"
#include "genotypes/genotypes_internal.h"
#include "genotypes/lines.h"
#include "layout/layout.h"

namespace genotypes {

using detail::join;

namespace {

// Where a list of locus names comes from, for its messages.
struct NameList {
  std::string_view option;  // "--null", "--alt" or "--loci"
  std::string_view text;    // as written
};

[[nodiscard]] std::string known_loci(const GenotypeData& table) {
  std::string text;
  for (const Locus& locus : table.loci) {
    text += text.empty() ? "" : ", ";
    text += layout::printable(locus.name);
  }
  return text.empty() ? std::string("none") : text;
}

[[noreturn]] void fail(const NameList& list, const std::string& what) {
  throw common::FileError{std::string(list.option), 0, join({quoted(list.text), ": ", what})};
}

// The 0-based locus of name in the table. A list names each locus once:
// named marks the loci it has named so far. Fails for an unknown name and for
// a repeated one.
[[nodiscard]] int named_locus(const GenotypeData& table, const NameList& list,
                              std::string_view name, std::vector<bool>& named) {
  for (int i = 0; i < common::count_of(table.loci); ++i) {
    if (table.loci[i].name == name ||
        (!table.loci[i].alias.empty() && table.loci[i].alias == name)) {
      if (named[i]) {
        fail(list, join({"the locus ", quoted(name), " is named twice"}));
      }
      named[i] = true;
      return i;
    }
  }
  fail(list,
       join({"the table has no locus ", quoted(name), " (its loci: ", known_loci(table), ")"}));
}

// The pieces of text between separators, each trimmed of blanks.
[[nodiscard]] std::vector<std::string_view> pieces(std::string_view text, char separator) {
  std::vector<std::string_view> result;
  while (true) {
    const std::size_t end = std::min(text.find(separator), text.size());
    result.push_back(trim_blanks(text.substr(0, end)));
    if (end == text.size()) {
      return result;
    }
    text.remove_prefix(end + 1);
  }
}

// The groups of a SPEC as table loci, each named at most once.
[[nodiscard]] std::vector<std::vector<int>> parse_groups(const GenotypeData& table,
                                                         const NameList& list) {
  std::vector<std::vector<int>> groups;
  std::vector<bool> named(table.loci.size(), false);
  for (const std::string_view group_text : pieces(list.text, ',')) {
    std::vector<int>& group = groups.emplace_back();
    for (const std::string_view name : pieces(group_text, '+')) {
      if (name.empty()) {
        fail(list, join({"group ", std::to_string(groups.size()),
                         " has an empty locus name; groups are separated by \",\", the loci of"
                         " a group joined by \"+\""}));
      }
      group.push_back(named_locus(table, list, name, named));
    }
  }
  return groups;
}

[[nodiscard]] std::vector<int> loci_of(const std::vector<std::vector<int>>& groups) {
  std::vector<int> loci;
  for (const std::vector<int>& group : groups) {
    loci.insert(loci.end(), group.begin(), group.end());
  }
  std::sort(loci.begin(), loci.end());
  return loci;
}

void check_locus_count(const std::vector<int>& loci, const std::string& where,
                       std::string_view what) {
  const int n = common::count_of(loci);
  if (n < common::MIN_SYSTEMS || n > common::MAX_SYSTEMS) {
    throw common::FileError{
        where, 0, join({what, " ", std::to_string(n), " loci; a test takes 2 to 10 loci"})};
  }
}

}  // namespace

TestSpec parse_test(const GenotypeData& table, std::string_view null_spec,
                    std::string_view alt_spec) {
  const NameList null_list{"--null", null_spec};
  const NameList alt_list{"--alt", alt_spec};
  std::optional<std::vector<std::vector<int>>> null_groups;
  std::optional<std::vector<std::vector<int>>> alt_groups;
  if (!null_spec.empty()) {
    null_groups = parse_groups(table, null_list);
  }
  if (!alt_spec.empty()) {
    alt_groups = parse_groups(table, alt_list);
  }
  TestSpec test;
  if (null_groups) {
    test.loci = loci_of(*null_groups);
    check_locus_count(test.loci, "--null", join({quoted(null_spec), ": the test has"}));
  } else if (alt_groups) {
    test.loci = loci_of(*alt_groups);
    check_locus_count(test.loci, "--alt", join({quoted(alt_spec), ": the test has"}));
  } else {
    for (int i = 0; i < common::count_of(table.loci); ++i) {
      test.loci.push_back(i);
    }
    check_locus_count(test.loci, table.name,
                      "without --null or --alt every locus is tested, and the table has");
  }
  if (alt_groups && null_groups) {
    for (const std::vector<int>& group : *alt_groups) {
      for (const int locus : group) {
        if (!std::binary_search(test.loci.begin(), test.loci.end(), locus)) {
          fail(alt_list, join({"the locus ", quoted(table.loci[locus].name),
                               " is not in the test (the loci of --null)"}));
        }
      }
    }
  }
  if (null_groups) {
    test.null_groups = std::move(*null_groups);
  } else {
    for (const int locus : test.loci) {
      test.null_groups.push_back({locus});
    }
  }
  test.alt_groups = alt_groups ? std::move(*alt_groups) : std::vector<std::vector<int>>{test.loci};
  const std::string problem =
      common::grouping_problem(test.null_groups, test.alt_groups,
                               [&table](int locus) { return quoted(table.loci[locus].name); });
  if (!problem.empty()) {
    fail(alt_list, problem);
  }
  return test;
}

std::vector<int> parse_loci(const GenotypeData& table, std::string_view list) {
  std::vector<int> loci;
  if (list.empty()) {
    for (int i = 0; i < common::count_of(table.loci); ++i) {
      loci.push_back(i);
    }
  } else {
    const NameList names{"--loci", list};
    std::vector<bool> named(table.loci.size(), false);
    for (const std::string_view name : pieces(list, ',')) {
      if (name.empty()) {
        fail(names, "an empty locus name; the loci are separated by \",\"");
      }
      loci.push_back(named_locus(table, names, name, named));
    }
    std::sort(loci.begin(), loci.end());
  }
  if (loci.size() < 2) {
    throw common::FileError{
        "--loci", 0,
        join({"the pairs take at least 2 loci, and ",
              list.empty() ? "the table has " : "the list names ", std::to_string(loci.size())})};
  }
  return loci;
}

TestSpec locus_pair_test(int locus_a, int locus_b) {
  const int first = std::min(locus_a, locus_b);
  const int second = std::max(locus_a, locus_b);
  return TestSpec{{first, second}, {{first}, {second}}, {{first, second}}};
}

}  // namespace genotypes
