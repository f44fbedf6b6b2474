#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "common/count.h"
#include "results/results.h"
#include "results/results_internal.h"

namespace results {
namespace {

// Wide enough for a p of 3 significant digits (0.000999) and "information".
constexpr double CELL = 64.0;
constexpr double MARGIN = 16.0;
constexpr double TITLE_HEIGHT = 52.0;  // the population's line and the loci's line
constexpr double LEGEND_WIDTH = 190.0;
constexpr double CHARACTER_WIDTH = 7.0;  // about, at 12 px sans-serif
constexpr double MAX_LABEL_ROOM = 220.0;

// The picture's geometry, the same for every population's panel.
struct Layout {
  int locus_count = 0;
  double label_room = 0.0;  // left of the matrix for the row labels
  double panel_height = 0.0;
  double width = 0.0;

  [[nodiscard]] double left() const { return MARGIN + label_room; }
  // The column labels slant at 45 degrees: their height is about 0.71 of
  // their length.
  [[nodiscard]] double matrix_top(double top) const {
    return top + TITLE_HEIGHT + 0.72 * label_room + 8.0;
  }
};

Layout layout_of(const std::vector<std::string>& loci, double title_width) {
  int longest = 1;
  for (const std::string& locus : loci) {
    longest = std::max(longest, common::count_of(locus));
  }
  Layout layout;
  layout.locus_count = common::count_of(loci);
  layout.label_room = std::min(MAX_LABEL_ROOM, 12.0 + CHARACTER_WIDTH * longest);
  const double matrix = CELL * std::max(layout.locus_count - 1, 1);
  layout.panel_height = layout.matrix_top(0.0) + std::max(matrix, 211.0) + MARGIN;
  // The title lines widen a picture of few loci rather than run off it.
  layout.width = std::max(layout.left() + matrix + LEGEND_WIDTH, 2.0 * MARGIN + title_width);
  return layout;
}

// A locus name cut to what the label room holds, at a character boundary
// of UTF-8, with an ellipsis; the full name is in the table.
std::string short_label(const std::string& name) {
  const auto room = static_cast<std::size_t>((MAX_LABEL_ROOM - 12.0) / CHARACTER_WIDTH) - 1;
  if (name.size() <= room + 1) {
    return name;
  }
  std::size_t end = room;
  while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0U) == 0x80U) {
    --end;
  }
  return name.substr(0, end) + "\u2026";
}

void draw_labels(SvgCanvas& canvas, const std::vector<std::string>& loci, const Layout& layout,
                 double top) {
  const double matrix_top = layout.matrix_top(top);
  // Rows hold the first locus of a pair (all but the last locus), columns
  // the second (all but the first).
  for (int k = 0; k + 1 < layout.locus_count; ++k) {
    const double middle = k * CELL + CELL / 2.0;
    canvas.text(layout.left() - 6.0, matrix_top + middle + 4.0, short_label(loci[k]), 12.0,
                Anchor::end);
    const double x = layout.left() + middle;
    const double y = matrix_top - 6.0;
    canvas.text(x, y, short_label(loci[k + 1]), 12.0, Anchor::start,
                "transform=\"rotate(-45 " + fixed_text(x, 2) + ' ' + fixed_text(y, 2) + ")\"");
  }
  // Every pair's place, drawn empty first: a pair without a row stays so.
  for (int a = 0; a < layout.locus_count; ++a) {
    for (int b = a + 1; b < layout.locus_count; ++b) {
      canvas.rect(layout.left() + (b - 1) * CELL, matrix_top + a * CELL, CELL, CELL, EMPTY_STYLE);
    }
  }
}

// The text of a cell: its p as the rules write it, or, for a pair without
// information, that (on two lines, to fit the cell).
void draw_cell_text(SvgCanvas& canvas, double x, double y,
                    const common::LocusPairResult& locus_pair, bool judged_with_ties) {
  const double middle = x + CELL / 2.0;
  if (!locus_pair.result.informative) {
    canvas.text(middle, y + CELL / 2.0 - 2.0, "no", 10.0, Anchor::middle, MUTED_TEXT);
    canvas.text(middle, y + CELL / 2.0 + 10.0, "information", 10.0, Anchor::middle, MUTED_TEXT);
    return;
  }
  const std::string p = judged_with_ties ? significant_text(locus_pair.result.p_value, 3)
                                         : label_text(locus_pair.result.p_value, 2);
  const bool dark = locus_pair.measures_defined && locus_pair.wn > 0.55;
  const std::string ink = dark ? "fill=\"#ffffff\"" : "fill=\"#000000\"";
  canvas.text(middle, y + CELL / 2.0 + 4.0, p, 11.0, Anchor::middle, ink);
  // Fits of equal likelihood disagree on the measures: the colour is one of them.
  const std::vector<std::string>& notes = locus_pair.result.notes;
  if (std::any_of(notes.begin(), notes.end(), [](const std::string& note) {
        return note.starts_with(common::NOT_IDENTIFIED_NOTE);
      })) {
    canvas.text(x + CELL - 4.0, y + 12.0, "~", 12.0, Anchor::end, ink);
  }
}

void draw_cell(SvgCanvas& canvas, const Layout& layout, double top,
               const common::LocusPairResult& locus_pair, bool judged_with_ties) {
  const int a = std::min(locus_pair.locus_a, locus_pair.locus_b);
  const int b = std::max(locus_pair.locus_a, locus_pair.locus_b);
  if (a < 0 || b >= layout.locus_count || a == b) {
    return;
  }
  const double x = layout.left() + (b - 1) * CELL;
  const double y = layout.matrix_top(top) + a * CELL;
  std::string fill(NO_INFORMATION_FILL);
  if (locus_pair.result.informative) {
    fill = locus_pair.measures_defined ? wn_colour(locus_pair.wn) : std::string(NA_FILL);
  }
  canvas.rect(x, y, CELL, CELL, "fill=\"" + fill + "\" stroke=\"#ffffff\"");
  draw_cell_text(canvas, x, y, locus_pair, judged_with_ties);
}

void draw_legend(SvgCanvas& canvas, const Layout& layout, double top, bool judged_with_ties) {
  const double x = layout.left() + CELL * std::max(layout.locus_count - 1, 1) + 24.0;
  const double y = layout.matrix_top(top);
  constexpr int steps = 10;
  constexpr double step_height = 10.0;
  canvas.text(x, y - 8.0, "Wn", 12.0, Anchor::start, "font-weight=\"bold\"");
  for (int k = 0; k < steps; ++k) {
    const double wn = 1.0 - (k + 0.5) / steps;
    canvas.rect(x, y + k * step_height, 16.0, step_height, "fill=\"" + wn_colour(wn) + "\"");
  }
  canvas.rect(x, y, 16.0, steps * step_height, "fill=\"none\" stroke=\"#333\"");
  canvas.text(x + 22.0, y + 4.0, "1", 11.0, Anchor::start);
  canvas.text(x + 22.0, y + steps * step_height / 2.0 + 4.0, "0.5", 11.0, Anchor::start);
  canvas.text(x + 22.0, y + steps * step_height + 4.0, "0", 11.0, Anchor::start);
  const double na_y = y + steps * step_height + 16.0;
  canvas.rect(x, na_y, 16.0, 12.0, "fill=\"" + std::string(NA_FILL) + "\"");
  canvas.text(x + 22.0, na_y + 10.0, "Wn NA", 11.0, Anchor::start);
  canvas.rect(x, na_y + 20.0, 16.0, 12.0,
              "fill=\"" + std::string(NO_INFORMATION_FILL) + "\" stroke=\"#bbbbbb\"");
  canvas.text(x + 22.0, na_y + 30.0, "no information", 11.0, Anchor::start);
  canvas.rect(x, na_y + 40.0, 16.0, 12.0, EMPTY_STYLE);
  canvas.text(x + 22.0, na_y + 50.0, "no test", 11.0, Anchor::start);
  canvas.text(x, na_y + 72.0, "in each cell: p-value", 11.0, Anchor::start);
  if (judged_with_ties) {
    canvas.text(x, na_y + 88.0, "~: D', Wn not identified", 11.0, Anchor::start);
  }
}

std::string population_line(const std::string& name) {
  return name + ": pairwise tests, cells coloured by Wn";
}

}  // namespace

// Wn from 0 to 1 on a light-to-dark blue scale through three stops; values
// above 1 take the darkest colour.
std::string wn_colour(double wn) {
  constexpr std::array<std::array<double, 3>, 3> stops = {
      {{247.0, 251.0, 255.0}, {107.0, 174.0, 214.0}, {8.0, 48.0, 107.0}}};
  const double t = std::clamp(wn, 0.0, 1.0) * 2.0;
  const int from = t < 1.0 ? 0 : 1;
  const double f = t - from;
  std::string colour = "#";
  for (int c = 0; c < 3; ++c) {
    const double v = stops[from][c] + (stops[from + 1][c] - stops[from][c]) * f;
    const int byte = std::clamp(static_cast<int>(std::lround(v)), 0, 255);
    constexpr std::string_view hex = "0123456789abcdef";
    colour += hex[byte / 16];
    colour += hex[byte % 16];
  }
  return colour;
}

// The loci paired and the groupings of each pair's test.
std::string loci_line(const std::vector<std::string>& loci) {
  std::string text = "pairs of loci ";
  for (int k = 0; k < common::count_of(loci); ++k) {
    text += (k == 0 ? "" : ", ") + loci[k];
  }
  return text + "; null: the two apart, alternative: joined";
}

void write_locus_pairs_classic(std::ostream& out, const std::vector<std::string>& loci,
                               const std::vector<common::LocusPairResult>& locus_pairs,
                               bool judged_with_ties) {
  const std::vector<PopulationLocusPairs> populations = locus_pairs_by_population(locus_pairs);
  const std::string tested = loci_line(loci);
  // The title lines widen a picture of few loci rather than run off it: by
  // their count of characters as before, or by their measure where that is
  // wider (a bold line of capitals was cut at the right).
  double title_width =
      std::max(CHARACTER_WIDTH * common::count_of(tested), text_width(tested, {12.0, false}));
  for (const PopulationLocusPairs& population : populations) {
    const std::string line = population_line(population.name);
    // The larger, bold line's characters count 6/5, in whole characters.
    const int characters = common::count_of(line) * 6 / 5;
    title_width =
        std::max({title_width, CHARACTER_WIDTH * characters, text_width(line, {14.0, true})});
  }
  const Layout layout = layout_of(loci, title_width);
  const int panels = common::count_of(populations);
  SvgCanvas canvas(layout.width, std::max(panels, 1) * layout.panel_height);
  for (int panel = 0; panel < panels; ++panel) {
    const double top = panel * layout.panel_height;
    canvas.begin_group("population-" + std::to_string(panel + 1), populations[panel].name);
    canvas.text(MARGIN, top + 22.0, population_line(populations[panel].name), 14.0, Anchor::start,
                "font-weight=\"bold\"");
    canvas.text(MARGIN, top + 40.0, tested, 12.0, Anchor::start);
    draw_labels(canvas, loci, layout, top);
    for (const int k : populations[panel].locus_pairs) {
      draw_cell(canvas, layout, top, locus_pairs[k], judged_with_ties);
    }
    draw_legend(canvas, layout, top, judged_with_ties);
    canvas.end_group();
  }
  out << canvas.finish();
}

}  // namespace results
