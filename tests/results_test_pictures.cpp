// The pictures under the default rules: small multiples in a grid whose
// height is bounded by its width, further pages beyond 50 populations, every
// population named once, texts measured to stay on the canvas, significant
// pairs marked.

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "results/results.h"
#include "results/results_internal.h"
#include "support/groupings.h"
#include "support/svg_check.h"

namespace {

using test_support::count_of_text;
using test_support::svg_fault;

common::PopulationResult tested(const std::string& name, double p) {
  common::PopulationResult result;
  result.name = name;
  result.individuals = 40;
  result.observed_statistic = 31.5;
  result.permuted_statistic = {12.0, 20.5, 18.25, 25.0, 9.5, 14.0, 33.0, 17.0};
  result.degrees_of_freedom = 12;
  result.df_defined = true;
  result.p_value = p;
  result.xi_defined = true;
  result.ld_xi = 1.25;
  result.notes = {"sparse: 1320 possible haplotypes for 44 sampled"};
  return result;
}

common::RunInput input_of() {
  common::RunInput input;
  input.locus_names = {"HLA-A", "HLA-B", "HLA-DRB1"};
  input.null_grouping = test_support::grouping_of({{0}, {1}, {2}});
  input.alt_grouping = test_support::grouping_of({{0, 1, 2}});
  return input;
}

// A name of each kind a table may hold: short, long without blanks, escaped.
std::string name_of(int k) {
  if (k % 7 == 3) {
    return "Population_" + std::string(90, 'W') + std::to_string(k);
  }
  return k % 5 == 1 ? "A&B <" + std::to_string(k) + ">" : "pop " + std::to_string(k);
}

double number_after(const std::string& text, const std::string& key, std::size_t from) {
  const std::size_t at = text.find(key, from);
  double value = std::numeric_limits<double>::quiet_NaN();
  std::from_chars(text.data() + at + key.size(), text.data() + text.size(), value);
  return value;
}

// Every unrotated text that starts at its x fits the canvas by the measure
// of the writers (entities count as one wide character each, on the wide side).
std::string text_past_the_edge(const std::string& svg) {
  const double width = number_after(svg, " width=\"", svg.find("<svg"));
  for (std::size_t at = svg.find("<text "); at != std::string::npos;
       at = svg.find("<text ", at + 1)) {
    const std::size_t close = svg.find('>', at);
    const std::string tag = svg.substr(at, close - at);
    if (tag.find("text-anchor=\"start\"") == std::string::npos ||
        tag.find("transform") != std::string::npos) {
      continue;
    }
    const std::string content = svg.substr(close + 1, svg.find("</text>", close) - close - 1);
    const double right = number_after(tag, " x=\"", 0) +
                         results::text_width(content, {number_after(tag, "font-size=\"", 0)});
    if (right > width + 0.5) {
      return content;
    }
  }
  return "";
}

struct Picture {
  std::string svg;
  double width = 0.0;
  double height = 0.0;
};

Picture picture_of(std::string svg) {
  const std::size_t at = svg.find("<svg");
  return {svg, number_after(svg, " width=\"", at), number_after(svg, " height=\"", at)};
}

// Each page well-formed, at most 2.5 times as high as wide, on a width a
// page takes; each population named by exactly one panel of one page.
void check_pages(const std::vector<Picture>& pages, const std::vector<std::string>& names) {
  std::string all;
  for (const Picture& page : pages) {
    EXPECT_EQ(svg_fault(page.svg), "");
    EXPECT_EQ(text_past_the_edge(page.svg), "");
    EXPECT_GE(page.width, 600.0);
    EXPECT_LE(page.width, 1200.0);
    EXPECT_LE(page.height, 2.5 * page.width);
    all += page.svg;
  }
  EXPECT_EQ(count_of_text(all, "<g id=\"population-"), static_cast<int>(names.size()));
  for (const std::string& name : names) {
    EXPECT_EQ(count_of_text(all, "<title>" + results::xml_escaped(name) + "</title>"), 1) << name;
  }
}

TEST(ResultsPictures, PagesOfFiftyPopulations) {
  const struct {
    int populations, pages;
  } cases[] = {{0, 1}, {1, 1}, {50, 1}, {51, 2}, {100, 2}, {101, 3}, {120, 3}};
  for (const auto& c : cases) {
    EXPECT_EQ(results::picture_pages(c.populations), c.pages) << c.populations;
  }
  EXPECT_EQ(results::picture_page_path("out/run.svg", 0), "out/run.svg");
  EXPECT_EQ(results::picture_page_path("out/run.svg", 1), "out/run.2.svg");
  EXPECT_EQ(results::picture_page_path("a.b/run.pairs.svg", 2), "a.b/run.pairs.3.svg");
}

TEST(ResultsPictures, HistogramGridBoundedAndEveryPopulationNamed) {
  for (const int count : {1, 17, 50, 51, 120}) {
    SCOPED_TRACE(count);
    common::RunResults results;
    results.judged_with_ties = true;
    results.permutations = 8;
    std::vector<std::string> names;
    for (int k = 0; k < count; ++k) {
      names.push_back(name_of(k));
      results.populations.push_back(tested(names.back(), 0.5));
    }
    results.populations[0].informative = false;
    std::vector<Picture> pages;
    for (int page = 0; page < results::picture_pages(count); ++page) {
      std::ostringstream out;
      results::write_histogram_svg(out, input_of(), results, page);
      pages.push_back(picture_of(out.str()));
    }
    check_pages(pages, names);
  }
}

// A population's pairs of `loci` loci: Wn rising along the rows, p from
// the given ones in turn, p_bh where given.
void add_pairs(std::vector<common::LocusPairResult>& pairs, const std::string& name, int loci,
               const std::vector<double>& p, const std::vector<double>& p_bh) {
  int k = 0;
  for (int a = 0; a < loci; ++a) {
    for (int b = a + 1; b < loci; ++b, ++k) {
      common::LocusPairResult& pair = pairs.emplace_back();
      pair.locus_a = a;
      pair.locus_b = b;
      pair.result = tested(name, p[k % p.size()]);
      pair.measures_defined = true;
      pair.wn = 0.125 * (a % 8);
      if (!p_bh.empty()) {
        pair.p_bh = p_bh[k % p_bh.size()];
      }
    }
  }
}

std::vector<std::string> loci_of(int count) {
  std::vector<std::string> loci;
  for (int k = 0; k < count; ++k) {
    loci.push_back(k == 1 ? "DRB1*long-locus-name-" + std::to_string(k) : "L" + std::to_string(k));
  }
  return loci;
}

TEST(ResultsPictures, PairGridBoundedAndEveryPopulationNamed) {
  const struct {
    int populations, loci;
  } cases[] = {{1, 2}, {1, 45}, {17, 10}, {50, 6}, {51, 4}, {120, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.populations) + " populations, " + std::to_string(c.loci) +
                 " loci");
    std::vector<common::LocusPairResult> pairs;
    std::vector<std::string> names;
    for (int k = 0; k < c.populations; ++k) {
      names.push_back(name_of(k));
      add_pairs(pairs, names.back(), c.loci, {0.5}, {});
    }
    EXPECT_EQ(results::locus_pair_populations(pairs), c.populations);
    std::vector<Picture> pages;
    for (int page = 0; page < results::picture_pages(c.populations); ++page) {
      std::ostringstream out;
      results::write_locus_pairs_svg(out, loci_of(c.loci), pairs, true, page);
      pages.push_back(picture_of(out.str()));
    }
    check_pages(pages, names);
  }
}

// Up to 40 loci each cell writes Wn; beyond, colour only and the table named.
// Marked: p_bh < 0.05 where the run's pairs are corrected, else p < 0.05.
TEST(ResultsPictures, PairCellsWnAndMarks) {
  const std::string frame = "fill=\"none\" stroke=\"#e6550d\"";
  const struct {
    int loci;
    std::vector<double> p, p_bh;
    int marked;
    int quarter;  // cells that write a Wn of 0.25 (a row of 2 mod 8)
    const char* legend;
  } cases[] = {
      {4, {0.01, 0.5, 0.04}, {}, 4, 1, "framed: p &lt; 0.05 (not corrected"},
      {4, {0.01, 0.5, 0.04}, {0.03, 0.5, 0.06}, 2, 1, "framed: p_bh &lt; 0.05"},
      {40, {0.5}, {}, 0, 37 + 29 + 21 + 13 + 5, "in each cell: Wn"},
      {41, {0.5, 0.01}, {}, 410, 0, "(.pairs.tsv)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.loci);
    std::vector<common::LocusPairResult> pairs;
    add_pairs(pairs, "North", c.loci, c.p, c.p_bh);
    std::ostringstream out;
    results::write_locus_pairs_svg(out, loci_of(c.loci), pairs, true);
    const std::string svg = out.str();
    EXPECT_EQ(svg_fault(svg), "");
    EXPECT_EQ(count_of_text(svg, frame), c.marked);
    EXPECT_EQ(count_of_text(svg, ">0.25</text>"), c.quarter);
    EXPECT_EQ(count_of_text(svg, c.legend), 1);
  }
}

// Texts never cut: wrapped at blanks, a word longer than a line broken
// between characters, each line within the width, nothing lost.
TEST(ResultsPictures, FittedTextKeepsEveryCharacter) {
  const struct {
    std::string text;
    double width;
    int max_lines;
  } cases[] = {
      {"short", 200.0, 1},
      {"N = 1000 permuted data sets, p = 0.0476, xi = 0.3333 (observed 12.345)", 150.0, 3},
      {std::string(120, 'W'), 100.0, 2},
      {"B\xC3\xBCrk \xE5\x8C\x97\xE4\xBA\xAC", 20.0, 9},
  };
  for (const auto& c : cases) {
    const results::FittedText fitted = results::fit_text(c.text, c.width, c.max_lines, {12.0});
    std::string joined;
    for (const std::string& line : fitted.lines) {
      EXPECT_LE(results::text_width(line, {fitted.size}), c.width) << line;
      joined += line;
    }
    EXPECT_LE(static_cast<int>(fitted.lines.size()), c.max_lines) << c.text;
    std::string expected = c.text;
    std::erase(expected, ' ');
    std::erase(joined, ' ');
    EXPECT_EQ(joined, expected);
  }
}

}  // namespace
