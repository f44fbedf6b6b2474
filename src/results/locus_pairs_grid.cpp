#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "common/count.h"
#include "results/results.h"
#include "results/results_internal.h"

// PREFIX.pairs.svg under the default rules: per population a matrix of the
// loci with a cell per pair, the matrices laid out as small multiples in a
// grid, one legend for the page.

namespace results {
namespace {

constexpr double PAGE_MARGIN = 16.0;
constexpr double MAX_PAGE_WIDTH = 1160.0;
constexpr double MIN_PAGE_WIDTH = 640.0;  // room for the legend on one or two lines
constexpr double MAX_HEIGHT_PER_WIDTH = 2.5;
constexpr double PANEL_PAD = 10.0;
constexpr double MAX_CELL = 64.0;
constexpr double SIGNIFICANT = 0.05;
// Wn is written in the cells of matrices of up to this many loci; beyond, the
// colour says it and the pairs table gives the values.
constexpr int MOST_LOCI_WRITTEN = 40;
constexpr double P_LINE_CELL = 44.0;  // cells at least this wide also hold p
constexpr std::string_view MARK_COLOUR = "#e6550d";
constexpr TextStyle NAME_STYLE{13.0, true};
constexpr TextStyle HEADER_STYLE{12.0, false};
constexpr double CELL_ROOM = 0.85;  // of a cell's width for its text

// The page's geometry: cells of one size, a grid of columns x rows panels.
struct Grid {
  int loci = 0;
  double cell = MAX_CELL;
  double label_size = 12.0;
  double label_room = 0.0;  // left of the matrix and, slanted, above it
  int columns = 1;
  double panel_width = 0.0;
  double name_height = 0.0;  // the tallest population name of the page
  double panel_height = 0.0;
  double header_height = 0.0;
  double width = 0.0;

  [[nodiscard]] double matrix() const { return cell * std::max(loci - 1, 1); }
  [[nodiscard]] double height(int panels) const {
    const int rows = (panels + columns - 1) / columns;
    return header_height + std::max(rows, 1) * panel_height + PAGE_MARGIN;
  }
};

// A locus name cut, at a character boundary, to the width given; the full
// name is in the page's line of loci and in the table.
std::string fitted_label(const std::string& name, double width, const TextStyle& style) {
  if (text_width(name, style) <= width) {
    return name;
  }
  std::string cut;
  const double room = width - text_width("\u2026", style);
  for (std::size_t at = 0; at < name.size();) {
    std::size_t end = at + 1;
    while (end < name.size() && (static_cast<unsigned char>(name[end]) & 0xC0U) == 0x80U) {
      ++end;
    }
    if (text_width(cut + name.substr(at, end - at), style) > room) {
      break;
    }
    cut += name.substr(at, end - at);
    at = end;
  }
  return cut + "\u2026";
}

// Whether a pair is marked significant: by its p_bh where the run's pairs
// were corrected, else by its p.
bool significant(const common::LocusPairResult& locus_pair, bool corrected) {
  const double p = corrected ? locus_pair.p_bh : locus_pair.result.p_value;
  return locus_pair.result.informative && std::isfinite(p) && p < SIGNIFICANT;
}

// The page's header: the loci and the groupings, the page, the legend.
struct Header {
  FittedText loci;
  std::string page;  // "" on a picture of one page
  FittedText cells;  // what the cells say
  FittedText mark;   // what the mark means
};

Header header_of(const std::vector<std::string>& loci, int populations, int page, bool corrected,
                 double width) {
  const double text = width - 2.0 * PAGE_MARGIN;
  Header header;
  header.loci = fit_text(loci_line(loci), text, 4, HEADER_STYLE);
  if (picture_pages(populations) > 1) {
    header.page = page_line(populations, page);
  }
  const int locus_count = common::count_of(loci);
  const std::string cells =
      locus_count > MOST_LOCI_WRITTEN
          ? "cells coloured by Wn; the Wn and p of each pair are in the pairs table (.pairs.tsv)"
          : "in each cell: Wn, and the pair's p-value below it where the cell has room; ~: D', "
            "Wn not identified; x: no information";
  header.cells = fit_text(cells, text, 3, {11.0, false});
  const std::string mark = corrected
                               ? "framed: p_bh < 0.05 (Benjamini-Hochberg over the population's "
                                 "pairs)"
                               : "framed: p < 0.05 (not corrected for the number of pairs)";
  header.mark = fit_text(mark, text - 24.0, 2, {11.0, false});
  return header;
}

constexpr double SCALE_HEIGHT = 14.0;  // the colour scale and its swatches
constexpr double SCALE_ROOM = SCALE_HEIGHT + 18.0;

double header_height(const Header& header) {
  return PAGE_MARGIN + text_height(header.loci) + (header.page.empty() ? 0.0 : 15.0) + 6.0 +
         SCALE_ROOM + text_height(header.cells) + std::max(text_height(header.mark), 14.0) + 8.0;
}

void draw_scale(SvgCanvas& canvas, double y) {
  double x = PAGE_MARGIN;
  canvas.text(x, y + 11.0, "Wn 0", 11.0, Anchor::start);
  x += text_width("Wn 0", {11.0, false}) + 4.0;
  constexpr int steps = 20;
  for (int k = 0; k < steps; ++k) {
    canvas.rect(x + k * 8.0, y, 8.0, SCALE_HEIGHT, "fill=\"" + wn_colour((k + 0.5) / steps) + "\"");
  }
  canvas.rect(x, y, steps * 8.0, SCALE_HEIGHT, "fill=\"none\" stroke=\"#333\"");
  x += steps * 8.0 + 4.0;
  canvas.text(x, y + 11.0, "1", 11.0, Anchor::start);
  x += 24.0;
  const struct {
    std::string style;
    std::string_view label;
  } swatches[] = {
      {"fill=\"" + std::string(NA_FILL) + "\"", "Wn NA"},
      {"fill=\"" + std::string(NO_INFORMATION_FILL) + "\" stroke=\"#bbbbbb\"", "no information"},
      {std::string(EMPTY_STYLE), "no test"}};
  for (const auto& swatch : swatches) {
    canvas.rect(x, y, 16.0, SCALE_HEIGHT, swatch.style);
    canvas.text(x + 22.0, y + 11.0, swatch.label, 11.0, Anchor::start);
    x += 22.0 + text_width(swatch.label, {11.0, false}) + 18.0;
  }
}

void draw_header(SvgCanvas& canvas, const Header& header) {
  double y = draw_text_lines(canvas, PAGE_MARGIN, PAGE_MARGIN, header.loci, Anchor::start);
  if (!header.page.empty()) {
    canvas.text(PAGE_MARGIN, y + 12.0, header.page, 12.0, Anchor::start, MUTED_TEXT);
    y += 15.0;
  }
  draw_scale(canvas, y + 6.0);
  y = draw_text_lines(canvas, PAGE_MARGIN, y + 6.0 + SCALE_ROOM, header.cells, Anchor::start);
  canvas.rect(PAGE_MARGIN + 1.5, y + 1.5, 13.0, 11.0,
              "fill=\"#ffffff\" stroke=\"" + std::string(MARK_COLOUR) + "\" stroke-width=\"3\"");
  draw_text_lines(canvas, PAGE_MARGIN + 24.0, y, header.mark, Anchor::start);
}

// The panel's width for cells of the grid's size: the row labels, the
// matrix, and the slanted labels of the last columns past its right edge.
double panel_width_of(const Grid& grid) {
  const double overhang = std::max(0.0, 0.72 * grid.label_room - grid.cell / 2.0);
  return 2.0 * PANEL_PAD + grid.label_room + grid.matrix() + overhang;
}

// The largest cells (at most MAX_CELL) with which the page's panels fit its
// width and its height fits 2.5 times its width.
Grid grid_of(const std::vector<std::string>& loci, const std::vector<std::string>& names,
             const Header& header_at_most) {
  Grid grid;
  grid.loci = common::count_of(loci);
  const int panels = std::max(common::count_of(names), 1);
  // Cells from MAX_CELL down, by whole pixels, by halves below 8.
  for (int halves = static_cast<int>(2.0 * MAX_CELL);; halves -= halves > 16 ? 2 : 1) {
    const double cell = 0.5 * halves;
    grid.cell = cell;
    grid.label_size = std::min(12.0, 0.8 * cell);
    const double most_room = 200.0 * grid.label_size / 12.0;
    grid.label_room = 0.0;
    for (const std::string& locus : loci) {
      grid.label_room = std::max(grid.label_room, text_width(locus, {grid.label_size, false}));
    }
    grid.label_room = std::min(most_room, grid.label_room + 10.0);
    grid.panel_width = panel_width_of(grid);
    const int fit = static_cast<int>((MAX_PAGE_WIDTH - 2.0 * PAGE_MARGIN) / grid.panel_width);
    grid.columns = std::clamp(fit, 1, panels);
    // A page of several rows takes the whole width a page can take.
    const bool rows = grid.columns < panels;
    grid.width =
        rows ? MAX_PAGE_WIDTH
             : std::max(MIN_PAGE_WIDTH, 2.0 * PAGE_MARGIN + grid.columns * grid.panel_width);
    grid.name_height = 0.0;
    for (const std::string& name : names) {
      grid.name_height =
          std::max(grid.name_height,
                   text_height(fit_text(name, grid.panel_width - 2.0 * PANEL_PAD, 2, NAME_STYLE)));
    }
    grid.header_height = header_height(header_at_most);
    grid.panel_height =
        2.0 * PANEL_PAD + grid.name_height + 0.72 * grid.label_room + 8.0 + grid.matrix();
    const bool fits = fit > 0 && grid.height(panels) <= MAX_HEIGHT_PER_WIDTH * grid.width;
    if (fits || cell <= 1.0) {
      return grid;
    }
  }
}

struct PanelPlace {
  double left = 0.0;
  double top = 0.0;
  double matrix_left = 0.0;
  double matrix_top = 0.0;
};

PanelPlace place_of(const Grid& grid, int slot) {
  const int row = slot / grid.columns;
  const int column = slot % grid.columns;
  PanelPlace place;
  place.left = PAGE_MARGIN + column * grid.panel_width;
  place.top = grid.header_height + row * grid.panel_height;
  place.matrix_left = place.left + PANEL_PAD + grid.label_room;
  place.matrix_top = place.top + PANEL_PAD + grid.name_height + 0.72 * grid.label_room + 8.0;
  return place;
}

void draw_labels(SvgCanvas& canvas, const std::vector<std::string>& loci, const Grid& grid,
                 const PanelPlace& place) {
  const TextStyle style{grid.label_size, false};
  const double room = grid.label_room - 8.0;
  for (int k = 0; k + 1 < grid.loci; ++k) {
    const double middle = k * grid.cell + grid.cell / 2.0;
    canvas.text(place.matrix_left - 6.0, place.matrix_top + middle + 0.35 * grid.label_size,
                fitted_label(loci[k], room, style), grid.label_size, Anchor::end);
    const double x = place.matrix_left + middle;
    const double y = place.matrix_top - 6.0;
    canvas.text(x, y, fitted_label(loci[k + 1], room, style), grid.label_size, Anchor::start,
                "transform=\"rotate(-45 " + fixed_text(x, 2) + ' ' + fixed_text(y, 2) + ")\"");
  }
  for (int a = 0; a < grid.loci; ++a) {
    for (int b = a + 1; b < grid.loci; ++b) {
      canvas.rect(place.matrix_left + (b - 1) * grid.cell, place.matrix_top + a * grid.cell,
                  grid.cell, grid.cell, EMPTY_STYLE);
    }
  }
}

// A size at which text fits the cell's width, at most `most`.
double cell_text_size(std::string_view text, double cell, double most) {
  const double at_one = text_width(text, {1.0, false});
  return std::min(most, CELL_ROOM * cell / at_one);
}

void draw_cell_text(SvgCanvas& canvas, const Grid& grid, double x, double y,
                    const common::LocusPairResult& locus_pair) {
  const double middle = x + grid.cell / 2.0;
  if (!locus_pair.result.informative) {
    const double size = std::min(12.0, 0.4 * grid.cell);
    canvas.text(middle, y + grid.cell / 2.0 + 0.35 * size, "x", size, Anchor::middle, MUTED_TEXT);
    return;
  }
  const bool dark = locus_pair.measures_defined && locus_pair.wn > 0.55;
  const std::string ink = dark ? "fill=\"#ffffff\"" : "fill=\"#000000\"";
  const std::vector<std::string>& notes = locus_pair.result.notes;
  if (std::any_of(notes.begin(), notes.end(), [](const std::string& note) {
        return note.starts_with(common::NOT_IDENTIFIED_NOTE);
      })) {
    const double size = std::min(12.0, 0.3 * grid.cell);
    canvas.text(x + grid.cell - 0.12 * grid.cell, y + 0.05 * grid.cell + size, "~", size,
                Anchor::end, ink);
  }
  if (grid.loci > MOST_LOCI_WRITTEN) {
    return;
  }
  const std::string wn = locus_pair.measures_defined ? fixed_text(locus_pair.wn, 2) : "NA";
  const double wn_size = cell_text_size("0.00", grid.cell, 12.0);
  if (grid.cell < P_LINE_CELL) {
    canvas.text(middle, y + grid.cell / 2.0 + 0.35 * wn_size, wn, wn_size, Anchor::middle, ink);
    return;
  }
  const std::string p = significant_text(locus_pair.result.p_value, 3);
  canvas.text(middle, y + grid.cell / 2.0 - 2.0, wn, wn_size, Anchor::middle,
              ink + " font-weight=\"bold\"");
  canvas.text(middle, y + grid.cell / 2.0 + 2.0 + 0.8 * 10.0, p, cell_text_size(p, grid.cell, 10.0),
              Anchor::middle, ink);
}

void draw_cell(SvgCanvas& canvas, const Grid& grid, const PanelPlace& place,
               const common::LocusPairResult& locus_pair, bool corrected) {
  const int a = std::min(locus_pair.locus_a, locus_pair.locus_b);
  const int b = std::max(locus_pair.locus_a, locus_pair.locus_b);
  if (a < 0 || b >= grid.loci || a == b) {
    return;
  }
  const double x = place.matrix_left + (b - 1) * grid.cell;
  const double y = place.matrix_top + a * grid.cell;
  std::string fill(NO_INFORMATION_FILL);
  if (locus_pair.result.informative) {
    fill = locus_pair.measures_defined ? wn_colour(locus_pair.wn) : std::string(NA_FILL);
  }
  canvas.rect(x, y, grid.cell, grid.cell, "fill=\"" + fill + "\" stroke=\"#ffffff\"");
  draw_cell_text(canvas, grid, x, y, locus_pair);
  if (significant(locus_pair, corrected)) {
    // A frame inside the cell, so that neighbouring frames stay apart.
    const double stroke = std::max(1.0, std::min(3.0, 0.08 * grid.cell));
    canvas.rect(x + stroke, y + stroke, grid.cell - 2.0 * stroke, grid.cell - 2.0 * stroke,
                "fill=\"none\" stroke=\"" + std::string(MARK_COLOUR) + "\" stroke-width=\"" +
                    fixed_text(stroke, 2) + "\"");
  }
}

}  // namespace

void write_locus_pairs_svg(std::ostream& out, const std::vector<std::string>& loci,
                           const std::vector<common::LocusPairResult>& locus_pairs,
                           bool judged_with_ties, int page) {
  if (!judged_with_ties) {
    write_locus_pairs_classic(out, loci, locus_pairs, judged_with_ties);
    return;
  }
  const std::vector<PopulationLocusPairs> populations = locus_pairs_by_population(locus_pairs);
  const PageRange range = page_range(common::count_of(populations), page);
  const bool corrected =
      std::any_of(locus_pairs.begin(), locus_pairs.end(),
                  [](const common::LocusPairResult& pair) { return std::isfinite(pair.p_bh); });
  std::vector<std::string> names;
  for (int p = range.first; p < range.end; ++p) {
    names.push_back(populations[p].name);
  }
  // The header measured at the narrowest page is at least as tall as at the page's own width.
  const Header narrowest =
      header_of(loci, common::count_of(populations), page, corrected, MIN_PAGE_WIDTH);
  Grid grid = grid_of(loci, names, narrowest);
  const Header header = header_of(loci, common::count_of(populations), page, corrected, grid.width);
  grid.header_height = header_height(header);
  SvgCanvas canvas(grid.width, grid.height(std::max(range.end - range.first, 1)));
  draw_header(canvas, header);
  for (int p = range.first; p < range.end; ++p) {
    const PanelPlace place = place_of(grid, p - range.first);
    canvas.begin_group("population-" + std::to_string(p + 1), populations[p].name);
    draw_text_lines(
        canvas, place.left + PANEL_PAD, place.top + PANEL_PAD,
        fit_text(populations[p].name, grid.panel_width - 2.0 * PANEL_PAD, 2, NAME_STYLE),
        Anchor::start, "font-weight=\"bold\"");
    draw_labels(canvas, loci, grid, place);
    for (const int k : populations[p].locus_pairs) {
      draw_cell(canvas, grid, place, locus_pairs[k], corrected);
    }
    canvas.end_group();
  }
  out << canvas.finish();
}

}  // namespace results
