#pragma once

#include <array>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "common/run.h"
#include "results/results.h"

// The pieces the writers of the result tables and pictures share: the
// number texts of the tables, the columns a population's test fills, and a
// few SVG primitives.

namespace results {

// --- Tab-separated tables -------------------------------------------------

// Appends value as the shortest decimal that reads back to the same double;
// a value that is not finite is undefined and appended as NA.
void append_real(std::string& line, double value);
// Appends NA, the text of an undefined value.
void append_na(std::string& line);
// Appends value in decimal.
void append_integer(std::string& line, long long value);
// Appends a tab, then the real (or NA when !defined).
void append_real_field(std::string& line, double value, bool defined = true);
void append_integer_field(std::string& line, long long value);
// Appends text as a field's content: a tab, CR or LF in it would break the
// table's rows and columns, so each becomes a blank.
void append_text(std::string& line, std::string_view text);
// Appends a tab, then the text as by append_text.
void append_text_field(std::string& line, std::string_view text);

// The name of a 0-based system: its locus name, else "system N" (1-based).
[[nodiscard]] std::string locus_name(const common::RunInput& input, int system);
// The locus names of a group's 0-based systems, in the group's order, joined by joint.
[[nodiscard]] std::string group_loci(const common::RunInput& input,
                                     const std::vector<int>& group_systems, std::string_view joint);

// The allele names of the group's systems joined by ~, in the group's order;
// NA for a locus the population has not typed.
[[nodiscard]] std::string haplotype_name(const common::RunInput& input,
                                         const std::vector<int>& group_systems,
                                         const std::vector<int>& alleles,
                                         const std::vector<int>& untyped);

// One row of a frequency table before it is written.
struct FrequencyRow {
  std::string haplotype;
  double frequency = 0.0;
};
// The group's values of positive frequency at least min_frequency, in table
// order: descending frequency, then haplotype name in byte order
// (std::string compares as unsigned bytes).
[[nodiscard]] std::vector<FrequencyRow> group_rows(const common::RunInput& input,
                                                   const std::vector<int>& group_systems,
                                                   const std::vector<common::FittedValue>& values,
                                                   double min_frequency,
                                                   const std::vector<int>& untyped);

// Writes the column names joined by tabs and an LF.
void write_header(std::ostream& out, const std::vector<std::string_view>& columns);

// The columns of a population's test after its names, in table order.
inline constexpr std::array<std::string_view, 15> TEST_COLUMNS = {"individuals",
                                                                  "excluded",
                                                                  "lnL0",
                                                                  "lnL1",
                                                                  "statistic",
                                                                  "df",
                                                                  "permutations",
                                                                  "exceeding",
                                                                  "ties",
                                                                  "p_value",
                                                                  "p_value_conservative",
                                                                  "mean",
                                                                  "sd",
                                                                  "xi",
                                                                  "xi_sd"};
// Appends those columns (each preceded by a tab) for result; permutations is
// the permutations column's value.
void append_test_fields(std::string& line, const common::PopulationResult& result,
                        long long permutations);
// The columns the maximum-likelihood rules add after all others.
inline constexpr std::array<std::string_view, 3> JUDGEMENT_COLUMNS = {"p_ci_low", "p_ci_high",
                                                                      "note"};
// Appends those columns for result: the interval, and the notes joined by "; ".
void append_judgement_fields(std::string& line, const common::PopulationResult& result);

// --- The report page ----------------------------------------------------

// The summary of the overall test as a table of the page.
void write_summary_rows(std::ostream& out, const common::RunResults& results);
// The locus pairs with their corrected p-values and measures (the first
// rows only of a run of very many pairs).
void write_locus_pair_rows(std::ostream& out, const std::vector<std::string>& loci,
                           const std::vector<common::LocusPairResult>& locus_pairs);
// The most frequent haplotypes of the alternative model, per population and group.
void write_top_haplotypes(std::ostream& out, const common::RunInput& input,
                          const common::RunResults& results);

// --- SVG -----------------------------------------------------------------

enum class Anchor { start, middle, end };

// One tick of an axis: its position in user units and its label.
struct Tick {
  double at = 0.0;
  std::string label;
};

// A picture under construction: elements are appended in drawing order and
// finish() returns the whole SVG 1.1 document. Coordinates are user units
// (pixels), written with fixed decimals. attributes are further attributes
// of the element as our code writes them (fill, stroke, transform, ...);
// text content is escaped here.
class SvgCanvas {
 public:
  SvgCanvas(double width, double height);

  void text(double x, double y, std::string_view content, double size, Anchor anchor,
            std::string_view attributes = {});
  void line(double x1, double y1, double x2, double y2, std::string_view attributes);
  void rect(double x, double y, double width, double height, std::string_view attributes);
  // points: x0, y0, x1, y1, ...: an open path through them.
  void path(const std::vector<double>& points, std::string_view attributes);
  // Ticks below a horizontal axis at y, each with its label under it.
  void x_ticks(double y, const std::vector<Tick>& ticks);
  // Ticks left of a vertical axis at x, each with its label to its left.
  void y_ticks(double x, const std::vector<Tick>& ticks);
  // A group (<g>) with a tooltip title; id must be an XML name.
  void begin_group(std::string_view id, std::string_view title);
  void end_group();

  [[nodiscard]] std::string finish() const;

 private:
  double width_;
  double height_;
  std::string body_;
};

// text for XML character data and attribute values: the five markup
// characters escaped, bytes that are not valid UTF-8 and characters XML does
// not allow replaced by U+FFFD.
[[nodiscard]] std::string xml_escaped(std::string_view text);
// value with the given number of decimals, for coordinates (0 when not finite).
[[nodiscard]] std::string fixed_text(double value, int decimals);
// value with a few significant digits, for labels read by people; NA when
// not finite.
[[nodiscard]] std::string label_text(double value, int digits = 4);

// The size and weight of a text, for measuring it.
struct TextStyle {
  double size = 12.0;
  bool bold = false;
};
// The width of text in a sans-serif font of that style, estimated on the wide
// side from its characters, so that what is measured to fit does.
[[nodiscard]] double text_width(std::string_view text, const TextStyle& style);
// A text set in lines no wider than width (broken at blanks, a long word
// between characters): at most max_lines of them, at the size given or a
// smaller one. Nothing is cut.
struct FittedText {
  std::vector<std::string> lines;
  double size = 12.0;
};
[[nodiscard]] FittedText fit_text(std::string_view text, double width, int max_lines,
                                  TextStyle style);
// The lines of a fitted text, one below the other from top down (each
// LINE_SPACING times the size high); returns the y below the last.
inline constexpr double LINE_SPACING = 1.25;
double draw_text_lines(SvgCanvas& canvas, double x, double top, const FittedText& text,
                       Anchor anchor, std::string_view attributes = {});
[[nodiscard]] inline double text_height(const FittedText& text) {
  return static_cast<double>(text.lines.size()) * text.size * LINE_SPACING;
}

// The populations of a page of a picture: [first, end), 0-based.
struct PageRange {
  int first = 0;
  int end = 0;
};
[[nodiscard]] PageRange page_range(int populations, int page);
// "populations 51-100 of 120 (page 2 of 3)".
[[nodiscard]] std::string page_line(int populations, int page);

// Round tick values (1, 2 or 5 times a power of ten apart) covering
// [low, high], about target of them.
[[nodiscard]] std::vector<double> nice_ticks(double low, double high, int target);

}  // namespace results

namespace results {

// The populations of the locus-pair tests in first-appearance order, each
// with the indexes of its locus pairs in their order.
struct PopulationLocusPairs {
  std::string name;
  std::vector<int> locus_pairs;
};
[[nodiscard]] std::vector<PopulationLocusPairs> locus_pairs_by_population(
    const std::vector<common::LocusPairResult>& locus_pairs);

}  // namespace results

// --- The histogram panels of PREFIX.svg ----------------------------------

namespace results {

// Where a population's panel draws: the plot area in user units, and whether
// it is a small multiple of the grid (ticks as many as their labels leave
// room for, the observed value's label above the bars) or a classic panel.
struct Panel {
  double left = 0.0;
  double top = 0.0;
  double plot_left = 0.0;
  double plot_right = 0.0;
  double plot_top = 0.0;
  double plot_bottom = 0.0;
  bool small = false;
};

// The room above a small panel's bars for the observed statistic's label.
inline constexpr double OBSERVED_STRIP = 18.0;
// The labels of the axes' ticks.
inline constexpr TextStyle TICK_STYLE{11.0, false};

// The histogram of a population's permuted statistics with its observed one.
void draw_histogram(SvgCanvas& canvas, const common::PopulationResult& result, const Panel& panel);
// A test without information, in grey where the histogram would be.
void draw_no_information(SvgCanvas& canvas, const common::PopulationResult& result,
                         const Panel& panel);
// The line of a population's test: N, p (as the rules write it), xi, the
// observed statistic, df and the individuals.
[[nodiscard]] std::string test_line(const common::PopulationResult& result, int permutations,
                                    const std::string& p);
[[nodiscard]] std::string p_text_of(const common::RunResults& results,
                                    const common::PopulationResult& result);
// Why a test has no information: its individuals and its notes.
[[nodiscard]] std::string no_information_text(const common::PopulationResult& result);
// The notes on a test in one line ("" when none).
[[nodiscard]] std::string notes_line(const common::PopulationResult& result);
// The groups of a grouping apart by commas, the loci of a group joined by +.
[[nodiscard]] std::string grouping_text(const common::RunInput& input,
                                        const common::Grouping& grouping);
// PREFIX.svg under the classic rules: every population, one panel under the other.
void write_histogram_classic(std::ostream& out, const common::RunInput& input,
                             const common::RunResults& results);

}  // namespace results

// --- The locus-pair matrices of PREFIX.pairs.svg ----------------------------

namespace results {

inline constexpr std::string_view NA_FILL = "#d9d9d9";
inline constexpr std::string_view EMPTY_STYLE = "fill=\"#ffffff\" stroke=\"#bbbbbb\"";
inline constexpr std::string_view NO_INFORMATION_FILL = "#f0f0f0";
inline constexpr std::string_view MUTED_TEXT = "fill=\"#666666\"";
// Wn from 0 to 1 on a light-to-dark blue scale (values above 1 the darkest).
[[nodiscard]] std::string wn_colour(double wn);
// "pairs of loci A, B, C; null: the two apart, alternative: joined".
[[nodiscard]] std::string loci_line(const std::vector<std::string>& loci);
// PREFIX.pairs.svg as the classic rules draw it: one matrix under the other.
void write_locus_pairs_classic(std::ostream& out, const std::vector<std::string>& loci,
                               const std::vector<common::LocusPairResult>& locus_pairs,
                               bool judged_with_ties);

}  // namespace results
