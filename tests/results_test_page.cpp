#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "results/manifest.h"
#include "results/results.h"
#include "support/groupings.h"

namespace {

constexpr double NA = std::numeric_limits<double>::quiet_NaN();
// A population name and a locus name that would be markup if written raw.
const std::string HOSTILE_POPULATION = "<b>North & \"South\"</b>";
const std::string HOSTILE_LOCUS = "<i>DRB1";

// One system of twelve alleles and one of one allele, fitted together.
common::RunInput haplotype_input() {
  common::RunInput input;
  input.locus_names = {HOSTILE_LOCUS, "B"};
  input.allele_names = {{}, {"b"}};
  for (int a = 0; a < 12; ++a) {
    input.allele_names[0].push_back("a" + std::to_string(a));
  }
  input.null_grouping = test_support::grouping_of({{0}, {1}}, {12, 1});
  input.alt_grouping = test_support::grouping_of({{0, 1}}, {12, 1});
  input.population_names = {HOSTILE_POPULATION};
  return input;
}

// The alternative model's values, listed in reverse name order: a11 most
// frequent, a0..a9 tied below it, a10 least.
common::RunResults haplotype_results() {
  common::RunResults results;
  results.judged_with_ties = true;
  common::PopulationResult& result = results.populations.emplace_back();
  result.name = HOSTILE_POPULATION;
  result.individuals = 10;
  result.alt_model.values.emplace_back();
  for (int a = 11; a >= 0; --a) {
    const double frequency = a == 11 ? 0.4 : a == 10 ? 0.01 : 0.059;
    result.alt_model.values[0].push_back({{a, 0}, frequency});
  }
  result.p_value = 0.0123;
  return results;
}

std::string page_of(const results::ResultSet& set) {
  std::ostringstream out;
  results::write_report_page(out, set);
  return out.str();
}

// What no page may hold: scripts, references outside the file, raw names.
void expect_self_contained_and_escaped(const std::string& page) {
  for (const std::string outside : {"<script", "src=", "href=", "url(", "@import", "<link"}) {
    EXPECT_EQ(page.find(outside), std::string::npos) << outside;
  }
  EXPECT_EQ(page.find(HOSTILE_POPULATION), std::string::npos);
  EXPECT_EQ(page.find(HOSTILE_LOCUS), std::string::npos);
  EXPECT_NE(page.find("&lt;b&gt;North &amp; &quot;South&quot;&lt;/b&gt;"), std::string::npos);
  EXPECT_NE(page.find("<svg"), std::string::npos);
  EXPECT_EQ(page.find("<?xml"), std::string::npos);
}

TEST(ResultsReportPage, OverallPageTopHaplotypesRecordAndMethods) {
  const common::RunInput input = haplotype_input();
  const common::RunResults results = haplotype_results();
  const results::RunRecord record = {
      {"input", "t<1>.csv"}, {"version", "9.9.9"}, {"permutations", "99"},
      {"seed", "7"},         {"populations", "1"}, {"loci_count", "2"},
      {"loci", "x"},         {"em_starts", "20"},  {"em_iteration_limit", "100000"}};
  results::ResultSet set;
  set.input = &input;
  set.results = &results;
  set.record = &record;
  set.judged_with_ties = true;
  const std::string page = page_of(set);
  expect_self_contained_and_escaped(page);
  EXPECT_NE(page.find("<title>Linkage disequilibrium: t&lt;1&gt;.csv</title>"), std::string::npos);
  // By frequency, then name; ten of them, so a9 (last of the tie) and a10 are left out.
  std::vector<std::size_t> at;
  for (const std::string haplotype : {"a11~b", "a0~b", "a1~b", "a8~b"}) {
    at.push_back(page.find("<td>" + haplotype + "</td>"));
    ASSERT_NE(at.back(), std::string::npos) << haplotype;
  }
  EXPECT_TRUE(std::is_sorted(at.begin(), at.end()));
  EXPECT_EQ(page.find("<td>a9~b</td>"), std::string::npos);
  EXPECT_EQ(page.find("<td>a10~b</td>"), std::string::npos);
  // The methods paragraph with this run's values, the record's rows.
  EXPECT_NE(page.find("in 99 permuted data sets (seed 7)"), std::string::npos);
  EXPECT_NE(page.find("Quarnel (version 9.9.9)"), std::string::npos);
  EXPECT_NE(page.find("<td>seed</td><td>7</td>"), std::string::npos);
}

TEST(ResultsReportPage, PairPageCorrectedColumnsAndMarks) {
  const std::vector<std::string> loci = {HOSTILE_LOCUS, "B", "C"};
  std::vector<common::LocusPairResult> pairs(2);
  for (common::LocusPairResult& pair : pairs) {
    pair.result.name = HOSTILE_POPULATION;
    pair.result.p_value = 0.004;
    pair.measures_defined = true;
    pair.d_prime = 0.5;
    pair.wn = 0.25;
  }
  pairs[0].locus_b = 1;
  pairs[0].p_holm = 0.008;
  pairs[0].p_bh = 0.008;
  pairs[0].p_bh_all = 0.012;
  pairs[0].w_a_given_b = 0.125;
  pairs[0].w_b_given_a = 0.75;
  pairs[1].locus_a = 1;
  pairs[1].locus_b = 2;
  pairs[1].result.notes = {"sparse <data>"};
  const results::RunRecord record = {{"input", "t.csv"}, {"loci_count", "3"}};
  results::ResultSet set;
  set.loci = &loci;
  set.locus_pairs = &pairs;
  set.record = &record;
  set.judged_with_ties = true;
  const std::string page = page_of(set);
  expect_self_contained_and_escaped(page);
  const std::size_t first = page.find("<tr class=\"significant\">");
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(page.find("<tr class=\"significant\">", first + 1), std::string::npos);
  const std::string first_row = page.substr(first, page.find("</tr>", first) - first);
  for (const std::string cell :
       {"&lt;i&gt;DRB1 ~ B", "0.00800", "0.0120", "0.500", "0.250", "0.125", "0.750"}) {
    EXPECT_NE(first_row.find(cell), std::string::npos) << cell;
  }
  // Not yet corrected, no asymmetric measures: NA, never 0 or nan.
  const std::size_t second = page.find("<td class=\"pair\">B ~ C</td>");
  ASSERT_NE(second, std::string::npos);
  const std::string second_row = page.substr(second, page.find("</tr>", second) - second);
  EXPECT_EQ(second_row.find("nan"), std::string::npos);
  EXPECT_NE(second_row.find("<td class=\"n\">NA</td><td class=\"n\">NA</td>"), std::string::npos);
  EXPECT_NE(second_row.find("sparse &lt;data&gt;"), std::string::npos);
  EXPECT_NE(page.find("and D&apos; and Wn from the fitted two-locus"), std::string::npos);
}

TEST(ResultsRunRecord, KeyValueRowsTheirTabsAndLineEndsBlank) {
  const results::RunRecord record = {{"input", "a\tb.csv"}, {"region", "1:\r\n5"}};
  results::ResultSet set;
  set.record = &record;
  std::ostringstream out;
  results::write_run_record(out, set);
  EXPECT_EQ(out.str(), "key\tvalue\ninput\ta b.csv\nregion\t1:  5\n");
}

// docs/method.md's paragraph is the template with its placeholders' names:
// the blockquote under "## In one paragraph", its lines joined.
TEST(ResultsMethods, TheDocsParagraphIsTheTemplate) {
  std::ifstream docs(QUARNEL_METHOD_DOCS);
  ASSERT_TRUE(docs) << QUARNEL_METHOD_DOCS;
  std::string line;
  while (std::getline(docs, line) && line != "## In one paragraph") {
  }
  std::string paragraph;
  while (std::getline(docs, line) && (paragraph.empty() || line.starts_with("> "))) {
    if (line.starts_with("> ")) {
      paragraph += (paragraph.empty() ? "" : " ") + line.substr(2);
    }
  }
  EXPECT_EQ(paragraph, results::methods_paragraph(results::methods_placeholder_names()));
  // Every placeholder has a name, and the run's values replace every one.
  std::map<std::string, std::string, std::less<>> values = results::methods_placeholder_names();
  for (auto& [key, value] : values) {
    value = "<" + key + ">";
  }
  const std::string filled = results::methods_paragraph(values);
  EXPECT_EQ(filled.find('{'), std::string::npos);
  EXPECT_NE(filled.find("seed <seed>"), std::string::npos);
}

}  // namespace
