#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "common/count.h"
#include "results/results.h"
#include "results/results_internal.h"

namespace results {
namespace {

// --- The grid of small multiples (the default rules) ------------------------

constexpr double PAGE_MARGIN = 16.0;
constexpr double MAX_PAGE_WIDTH = 1160.0;
constexpr double MAX_PANEL_WIDTH = 688.0;  // one population: the classic width
constexpr double MAX_HEIGHT_PER_WIDTH = 2.5;
constexpr double PANEL_PAD = 8.0;
constexpr double AXIS_ROOM = 46.0;  // below the plot: ticks, their labels, "statistic"
constexpr TextStyle NAME_STYLE{13.0, true};
constexpr TextStyle LINE_STYLE{11.0, false};

// The texts over a population's small panel: its name, its test (or why it
// has none) and its notes, each fitted to the panel's width.
struct PanelTexts {
  FittedText name;
  FittedText test;
  FittedText notes;
  [[nodiscard]] double height() const {
    return text_height(name) + text_height(test) + text_height(notes) + PANEL_PAD;
  }
};

PanelTexts panel_texts(const common::RunResults& results, const common::PopulationResult& result,
                       double width) {
  PanelTexts texts;
  texts.name = fit_text(result.name, width, 2, NAME_STYLE);
  if (!result.informative) {
    texts.test = fit_text(no_information_text(result), width, 3, LINE_STYLE);
    texts.notes = {{}, LINE_STYLE.size};
    return texts;
  }
  texts.test = fit_text(
      test_line(result, common::count_of(result.permuted_statistic), p_text_of(results, result)),
      width, 3, LINE_STYLE);
  const std::string notes = notes_line(result);
  texts.notes =
      notes.empty() ? FittedText{{}, LINE_STYLE.size} : fit_text(notes, width, 3, LINE_STYLE);
  return texts;
}

// The page's geometry: a grid of columns x rows panels under a header.
struct Grid {
  int columns = 1;
  double panel_width = 0.0;
  double panel_height = 0.0;
  double texts_height = 0.0;  // the tallest texts over a panel of the page
  double plot_height = 0.0;
  double plot_inset = 0.0;  // left of the plot: the counts' labels and the axis name
  double header_height = 0.0;
  double width = 0.0;
  [[nodiscard]] double height(int panels) const {
    const int rows = (panels + columns - 1) / columns;
    return header_height + std::max(rows, 1) * panel_height + PAGE_MARGIN;
  }
};

// Columns by the count of panels, so that 50 of them fit a page in rows of 5.
int grid_columns(int panels) {
  constexpr std::array<int, 4> most_for = {1, 4, 9, 16};  // with 1, 2, 3, 4 columns
  for (int c = 0; c < common::count_of(most_for); ++c) {
    if (panels <= most_for[c]) {
      return c + 1;
    }
  }
  return 5;
}

double panel_width_for(int columns) {
  return std::min(MAX_PANEL_WIDTH, (MAX_PAGE_WIDTH - 2.0 * PAGE_MARGIN) / columns);
}

Panel small_panel(const Grid& grid, int slot) {
  const int row = slot / grid.columns;
  const int column = slot % grid.columns;
  const double left = PAGE_MARGIN + column * grid.panel_width;
  const double top = grid.header_height + row * grid.panel_height;
  const double plot_top = top + grid.texts_height + OBSERVED_STRIP;
  return {left,
          top,
          left + grid.plot_inset,
          left + grid.panel_width - 2.0 * PANEL_PAD - 12.0,
          plot_top,
          plot_top + grid.plot_height,
          true};
}

void draw_small_panel(SvgCanvas& canvas, const common::RunResults& results, const Grid& grid,
                      int population, int slot) {
  const common::PopulationResult& result = results.populations[population];
  const Panel panel = small_panel(grid, slot);
  const PanelTexts texts = panel_texts(results, result, grid.panel_width - 2.0 * PANEL_PAD);
  canvas.begin_group("population-" + std::to_string(population + 1), result.name);
  const double x = panel.left + PANEL_PAD;
  double y = draw_text_lines(canvas, x, panel.top + PANEL_PAD, texts.name, Anchor::start,
                             "font-weight=\"bold\"");
  y = draw_text_lines(canvas, x, y, texts.test, Anchor::start,
                      result.informative ? std::string_view{} : MUTED_TEXT);
  draw_text_lines(canvas, x, y, texts.notes, Anchor::start, MUTED_TEXT);
  if (result.informative) {
    draw_histogram(canvas, result, panel);
  } else {
    draw_no_information(canvas, result, panel);
  }
  canvas.end_group();
}

Grid grid_of(const common::RunResults& results, PageRange range, double header_height) {
  const int panels = range.end - range.first;
  Grid grid;
  grid.columns = grid_columns(panels);
  grid.panel_width = panel_width_for(grid.columns);
  grid.width = 2.0 * PAGE_MARGIN + grid.columns * grid.panel_width;
  grid.header_height = header_height;
  for (int p = range.first; p < range.end; ++p) {
    grid.texts_height = std::max(
        grid.texts_height,
        panel_texts(results, results.populations[p], grid.panel_width - 2.0 * PANEL_PAD).height());
  }
  int most = 1;  // the widest count label: the most permuted data sets
  for (int p = range.first; p < range.end; ++p) {
    most = std::max(most, common::count_of(results.populations[p].permuted_statistic));
  }
  grid.plot_inset = 22.0 + text_width(std::to_string(most), TICK_STYLE) + 8.0;
  // The plot's height as the width suggests, less where the page's rows
  // would be taller than the page may be.
  const int rows = std::max(1, (panels + grid.columns - 1) / grid.columns);
  const double fixed = grid.texts_height + OBSERVED_STRIP + AXIS_ROOM + PANEL_PAD;
  const double room =
      (MAX_HEIGHT_PER_WIDTH * grid.width - header_height - PAGE_MARGIN) / rows - fixed;
  grid.plot_height = std::max(40.0, std::min({0.45 * grid.panel_width, 200.0, room}));
  grid.panel_height = fixed + grid.plot_height;
  return grid;
}

void write_histogram_grid(std::ostream& out, const common::RunInput& input,
                          const common::RunResults& results, int page) {
  const int populations = common::count_of(results.populations);
  const PageRange range = page_range(populations, page);
  const int columns = grid_columns(range.end - range.first);
  const double width = 2.0 * PAGE_MARGIN + columns * panel_width_for(columns);
  const FittedText tested =
      fit_text("null: " + grouping_text(input, input.null_grouping) +
                   "; alternative: " + grouping_text(input, input.alt_grouping),
               width - 2.0 * PAGE_MARGIN, 4, {13.0, false});
  const bool paged = picture_pages(populations) > 1;
  const double header_height =
      PAGE_MARGIN + text_height(tested) + (paged ? 12.0 * LINE_SPACING : 0.0) + 4.0;
  const Grid grid = grid_of(results, range, header_height);
  SvgCanvas canvas(grid.width, grid.height(range.end - range.first));
  const double y = draw_text_lines(canvas, PAGE_MARGIN, PAGE_MARGIN, tested, Anchor::start);
  if (paged) {
    draw_text_lines(canvas, PAGE_MARGIN, y, {{page_line(populations, page)}, 12.0}, Anchor::start,
                    MUTED_TEXT);
  }
  for (int p = range.first; p < range.end; ++p) {
    draw_small_panel(canvas, results, grid, p, p - range.first);
  }
  out << canvas.finish();
}

}  // namespace

void write_histogram_svg(std::ostream& out, const common::RunInput& input,
                         const common::RunResults& results, int page) {
  if (results.judged_with_ties) {
    write_histogram_grid(out, input, results, page);
  } else {
    write_histogram_classic(out, input, results);
  }
}

}  // namespace results
