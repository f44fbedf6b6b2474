#include <cassert>
#include <map>
#include <sstream>
#include <string>
#include <string_view>

#include "common/count.h"
#include "results/manifest.h"
#include "results/results.h"
#include "results/results_internal.h"

namespace results {
namespace {

// Plain, printable and readable on paper: no script, no font or picture
// from outside the file, so that the page opens the same from a mail
// attachment as from the disk.
constexpr std::string_view PAGE_STYLE =
    "body{font-family:sans-serif;font-size:14px;color:#222;margin:1.5em auto;max-width:1200px;"
    "padding:0 1em;line-height:1.4}"
    "h1{font-size:1.5em}h2{font-size:1.2em;margin-top:2em;border-bottom:1px solid #ccc}"
    "table{border-collapse:collapse;margin:0.5em 0}"
    "th,td{padding:2px 8px;border-bottom:1px solid #e4e4e4;text-align:left;vertical-align:top}"
    "th{background:#f2f2f2}th,td.n,td.pair{white-space:nowrap}"
    "td.n{text-align:right;font-variant-numeric:tabular-nums}"
    "tr.significant td{background:#fff3d6}"
    ".grid{display:flex;flex-wrap:wrap;gap:1.5em}"
    ".picture svg{max-width:100%;height:auto}"
    ".record td:first-child{font-family:monospace;white-space:nowrap}"
    ".record td{word-break:break-all}p.methods{max-width:60em}";

// The value of key in the run record; empty when it has none.
std::string record_value(const RunRecord& record, std::string_view key) {
  for (const auto& [name, value] : record) {
    if (name == key) {
      return value;
    }
  }
  return {};
}

void write_record_section(std::ostream& out, const RunRecord& record) {
  out << "<h2 id=\"run\">The run</h2>\n<table class=\"record\">\n";
  for (const auto& [key, value] : record) {
    out << "<tr><td>" << xml_escaped(key) << "</td><td>" << xml_escaped(value) << "</td></tr>\n";
  }
  out << "</table>\n";
}

// A picture of the result files, drawn by its own writer, set into the page
// without its XML declaration.
void write_picture(std::ostream& out, const std::string& svg) {
  const std::size_t start = svg.find("<svg");
  assert(start != std::string::npos);
  out << "<div class=\"picture\">\n" << std::string_view(svg).substr(start) << "</div>\n";
}

// The names of a grouping, groups separated by commas, loci of a group by "+".
std::string grouping_text(const common::RunInput& input, const common::Grouping& grouping) {
  std::string text;
  for (int g = 0; g < common::count_of(grouping.group_systems); ++g) {
    text += (g == 0 ? "" : ", ") + group_loci(input, grouping.group_systems[g], "+");
  }
  return text;
}

bool every_group_alone(const common::Grouping& grouping) {
  for (const std::vector<int>& group : grouping.group_systems) {
    if (group.size() != 1) {
      return false;
    }
  }
  return true;
}

// This run's values of the methods paragraph's placeholders, escaped for HTML.
std::map<std::string, std::string, std::less<>> methods_values(const ResultSet& set) {
  const RunRecord& record = *set.record;
  std::map<std::string, std::string, std::less<>> values;
  const std::string loci = record_value(record, "loci");
  const std::string k = record_value(record, "loci_count");
  if (set.locus_pairs != nullptr) {
    values["test"] = "Linkage disequilibrium between each pair of the " + k + " loci " + loci;
    values["null"] = "each locus of the pair alone";
    values["alt"] = "the two loci together, two-locus haplotypes";
    values["pairs"] =
        " and D' and Wn from the fitted two-locus haplotype frequencies; the pairs' p-values "
        "were also corrected for the number of pairs in each population (Holm; "
        "Benjamini-Hochberg)";
  } else {
    const common::RunInput& input = *set.input;
    values["test"] = "Overall linkage disequilibrium among the " + k + " loci " + loci;
    values["null"] = every_group_alone(input.null_grouping)
                         ? "each locus alone, in linkage equilibrium with the others"
                         : "the groups " + grouping_text(input, input.null_grouping);
    values["alt"] = input.alt_grouping.group_systems.size() == 1
                        ? "one group of all loci, multi-locus haplotypes"
                        : "the groups " + grouping_text(input, input.alt_grouping);
    values["pairs"] = "";
  }
  for (const std::string_view key :
       {"populations", "version", "permutations", "seed", "em_starts", "em_iteration_limit"}) {
    values[std::string(key)] = record_value(record, key);
  }
  values["starts"] = values.extract("em_starts").mapped();
  values["iterations"] = values.extract("em_iteration_limit").mapped();
  for (auto& [key, value] : values) {
    value = xml_escaped(value);
  }
  return values;
}

void write_page_head(std::ostream& out, const std::string& title) {
  out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>"
      << xml_escaped(title) << "</title>\n<style>" << PAGE_STYLE << "</style>\n</head>\n<body>\n"
      << "<h1>" << xml_escaped(title) << "</h1>\n";
}

}  // namespace

void write_report_page(std::ostream& out, const ResultSet& set) {
  assert(set.record != nullptr);
  const bool pairs = set.locus_pairs != nullptr;
  assert(pairs ? set.loci != nullptr : set.input != nullptr && set.results != nullptr);
  const std::string input = record_value(*set.record, "input");
  write_page_head(out, (pairs ? "Pairs of loci: " : "Linkage disequilibrium: ") + input);
  if (pairs) {
    // The matrices first: a run of many pairs has a long table.
    out << "<h2 id=\"pictures\">LD between the loci</h2>\n";
    // Every page of the picture: every population appears on the page.
    for (int page = 0; page < picture_pages(locus_pair_populations(*set.locus_pairs)); ++page) {
      std::ostringstream picture;
      write_locus_pairs_svg(picture, *set.loci, *set.locus_pairs, true, page);
      write_picture(out, picture.str());
    }
    write_locus_pair_rows(out, *set.loci, *set.locus_pairs);
    out << "<h2 id=\"haplotypes\">Haplotypes</h2>\n<p>The fitted two-locus haplotype "
           "frequencies of each pair are in the <code>.pair_alleles.tsv</code> file that "
           "<code>--pair-alleles</code> writes; every figure of the table above is in the "
           "<code>.pairs.tsv</code> file.</p>\n";
  } else {
    write_summary_rows(out, *set.results);
    out << "<h2 id=\"pictures\">Permutation distributions</h2>\n";
    for (int page = 0; page < picture_pages(common::count_of(set.results->populations)); ++page) {
      std::ostringstream picture;
      write_histogram_svg(picture, *set.input, *set.results, page);
      write_picture(out, picture.str());
    }
    write_top_haplotypes(out, *set.input, *set.results);
  }
  out << "<h2 id=\"methods\">Methods</h2>\n<p class=\"methods\">"
      << methods_paragraph(methods_values(set)) << "</p>\n";
  write_record_section(out, *set.record);
  out << "</body>\n</html>\n";
}

}  // namespace results
