#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "common/count.h"
#include "results/results.h"
#include "results/results_internal.h"

namespace results {
namespace {

constexpr double PANEL_WIDTH = 720.0;
constexpr double PANEL_HEIGHT = 330.0;
constexpr double PLOT_LEFT = 70.0;
constexpr double PLOT_RIGHT = PANEL_WIDTH - 30.0;
constexpr double PLOT_TOP = 66.0;                    // below the title lines
constexpr double PLOT_BOTTOM = PANEL_HEIGHT - 52.0;  // room for ticks and the axis label
constexpr std::string_view BAR_STYLE = "fill=\"#8fb3d9\" stroke=\"#ffffff\" stroke-width=\"0.5\"";
constexpr std::string_view AXIS_STYLE = "stroke=\"#333\" stroke-width=\"1\"";
constexpr std::string_view OBSERVED_COLOUR = "#c0392b";
constexpr std::string_view NO_INFORMATION_STYLE = "fill=\"#eeeeee\" stroke=\"#cccccc\"";
constexpr double HEADER_HEIGHT = 30.0;          // the line naming the groupings
constexpr double HEADER_CHARACTER_WIDTH = 7.5;  // about, at 13 px sans-serif

// A piece of the x axis: statistics from d0 to d1 drawn from p0 to p1.
struct Segment {
  double d0 = 0.0;
  double d1 = 1.0;
  double p0 = 0.0;
  double p1 = 1.0;
};

// The x axis: one segment, or two with a break between them when the
// observed statistic lies far outside the histogram.
struct Axis {
  std::vector<Segment> segments;
  bool broken = false;
  double break_at = 0.0;

  [[nodiscard]] double position(double value) const {
    const Segment* nearest = &segments.front();
    for (const Segment& segment : segments) {
      if (value >= segment.d0) {
        nearest = &segment;
      }
    }
    const double clamped = std::clamp(value, nearest->d0, nearest->d1);
    return nearest->p0 +
           (clamped - nearest->d0) / (nearest->d1 - nearest->d0) * (nearest->p1 - nearest->p0);
  }
};

struct Bins {
  double low = 0.0;
  double high = 0.0;
  std::vector<int> count;
};

// About the square root of the count of bins, between 5 and 40, spanning the
// finite values (one value or equal values get a span around them).
Bins bins_of(const std::vector<double>& values) {
  Bins bins;
  bins.low = *std::min_element(values.begin(), values.end());
  bins.high = *std::max_element(values.begin(), values.end());
  if (!(bins.high > bins.low)) {
    const double pad = std::max(std::abs(bins.low) * 0.05, 0.5);
    bins.low -= pad;
    bins.high += pad;
  }
  const int bin_count =
      std::clamp(static_cast<int>(std::ceil(std::sqrt(static_cast<double>(values.size())))), 5, 40);
  bins.count.assign(static_cast<std::size_t>(bin_count), 0);
  const double width = (bins.high - bins.low) / bin_count;
  for (const double value : values) {
    const int bin = static_cast<int>((value - bins.low) / width);
    ++bins.count[std::clamp(bin, 0, bin_count - 1)];
  }
  return bins;
}

// An observed statistic within half the histogram's span of it extends the
// axis; one farther away gets a short segment of its own past a break.
Axis axis_of(const Bins& bins, double observed, bool has_observed, double left, double right) {
  const double span = bins.high - bins.low;
  const double near_low = bins.low - 0.5 * span;
  const double near_high = bins.high + 0.5 * span;
  if (!has_observed || (observed >= near_low && observed <= near_high)) {
    const double d0 = has_observed ? std::min(bins.low, observed) : bins.low;
    const double d1 = has_observed ? std::max(bins.high, observed) : bins.high;
    const double pad = 0.03 * (d1 - d0);
    return {{{d0 - pad, d1 + pad, left, right}}, false, 0.0};
  }
  const double width = right - left;
  const Segment histogram{bins.low, bins.high, 0.0, 0.0};
  const Segment own{observed - 0.1 * span, observed + 0.1 * span, 0.0, 0.0};
  if (observed > bins.high) {
    return {{{histogram.d0, histogram.d1, left, left + 0.78 * width},
             {own.d0, own.d1, left + 0.84 * width, right}},
            true,
            left + 0.81 * width};
  }
  return {{{own.d0, own.d1, left, left + 0.16 * width},
           {histogram.d0, histogram.d1, left + 0.22 * width, right}},
          true,
          left + 0.19 * width};
}

Panel classic_panel(double top) {
  return {0.0, top, PLOT_LEFT, PLOT_RIGHT, top + PLOT_TOP, top + PLOT_BOTTOM, false};
}

constexpr double TICK_GAP = 8.0;  // between the labels of neighbouring ticks

// Whether the tick labels of values, centred on their positions, leave a gap
// between each other.
bool labels_fit(const Axis& axis, const std::vector<double>& values) {
  for (std::size_t k = 1; k < values.size(); ++k) {
    const double room = axis.position(values[k]) - axis.position(values[k - 1]);
    const double needed = (text_width(label_text(values[k - 1], 6), TICK_STYLE) +
                           text_width(label_text(values[k], 6), TICK_STYLE)) /
                              2.0 +
                          TICK_GAP;
    if (room < needed) {
      return false;
    }
  }
  return true;
}

// The tick values of a segment: about target of them, fewer in a small panel
// until their labels fit side by side.
std::vector<double> segment_ticks(const Axis& axis, const Segment& segment, int target,
                                  bool small) {
  std::vector<double> values = nice_ticks(segment.d0, segment.d1, target);
  while (small && target > 1 && !labels_fit(axis, values)) {
    values = nice_ticks(segment.d0, segment.d1, --target);
  }
  if (small && !labels_fit(axis, values)) {
    values.resize(1);
  }
  return values;
}

void draw_x_axis(SvgCanvas& canvas, const Axis& axis, const Panel& panel, double observed) {
  const double y = panel.plot_bottom;
  std::vector<Tick> ticks;
  for (const Segment& segment : axis.segments) {
    canvas.line(segment.p0, y, segment.p1, y, AXIS_STYLE);
    const bool own = axis.broken && observed >= segment.d0 && observed <= segment.d1;
    const std::vector<double> values =
        own ? std::vector<double>{observed}
            : segment_ticks(axis, segment, axis.broken ? 5 : 7, panel.small);
    for (const double value : values) {
      ticks.push_back({axis.position(value), label_text(value, 6)});
    }
  }
  canvas.x_ticks(y, ticks);
  if (axis.broken) {
    const double b = axis.break_at;
    canvas.line(b - 7.0, y + 6.0, b - 1.0, y - 6.0, AXIS_STYLE);
    canvas.line(b + 1.0, y + 6.0, b + 7.0, y - 6.0, AXIS_STYLE);
  }
  canvas.text((panel.plot_left + panel.plot_right) / 2.0, y + 38.0, "statistic", 12.0,
              Anchor::middle);
}

void draw_bars(SvgCanvas& canvas, const Bins& bins, const Axis& axis, const Panel& panel) {
  const int most = *std::max_element(bins.count.begin(), bins.count.end());
  const double height = panel.plot_bottom - panel.plot_top;
  const int bin_count = common::count_of(bins.count);
  const double width = (bins.high - bins.low) / bin_count;
  for (int k = 0; k < bin_count; ++k) {
    if (bins.count[k] == 0) {
      continue;
    }
    const double x0 = axis.position(bins.low + k * width);
    const double x1 = axis.position(bins.low + (k + 1) * width);
    const double h = height * bins.count[k] / most;
    canvas.rect(x0, panel.plot_bottom - h, x1 - x0, h, BAR_STYLE);
  }
  std::vector<Tick> ticks;
  // A small panel has room for fewer count labels one above the other.
  for (const double value : nice_ticks(0.0, most, panel.small && height < 120.0 ? 3 : 5)) {
    if (value == std::floor(value)) {  // counts are whole
      ticks.push_back({panel.plot_bottom - height * value / most, label_text(value, 7)});
    }
  }
  canvas.line(panel.plot_left, panel.plot_top, panel.plot_left, panel.plot_bottom, AXIS_STYLE);
  canvas.y_ticks(panel.plot_left, ticks);
  const double middle = (panel.plot_top + panel.plot_bottom) / 2.0;
  const double x = panel.left + (panel.small ? 14.0 : 22.0);
  const std::string x_text = panel.small ? fixed_text(x, 2) : std::string("22");
  canvas.text(x, middle, panel.small ? "data sets" : "permuted data sets", 12.0, Anchor::middle,
              "transform=\"rotate(-90 " + x_text + ' ' + fixed_text(middle, 2) + ")\"");
}

// The observed statistic: a line from the axis up past the bars. Its label
// is beside the line at the top of a classic panel; a small panel has a strip
// above its bars for it, where it is kept within the panel's width.
void draw_observed(SvgCanvas& canvas, const Axis& axis, const Panel& panel, double observed) {
  const double x = axis.position(observed);
  const std::string colour = "stroke=\"" + std::string(OBSERVED_COLOUR) + "\"";
  const std::string label = "observed " + label_text(observed, 6);
  const std::string ink = "fill=\"" + std::string(OBSERVED_COLOUR) + "\"";
  if (!panel.small) {
    canvas.line(x, panel.plot_bottom, x, panel.plot_top - 6.0, colour + " stroke-width=\"2\"");
    const bool right_half = x > (panel.plot_left + panel.plot_right) / 2.0;
    canvas.text(right_half ? x - 5.0 : x + 5.0, panel.plot_top + 6.0, label, 11.0,
                right_half ? Anchor::end : Anchor::start, ink);
    return;
  }
  // Beside the line where the panel has room on one side, else over its end.
  const double width = text_width(label, TICK_STYLE);
  const double panel_right = panel.plot_right + 24.0;  // the panel's right pad
  const bool right = x + 5.0 + width <= panel_right;
  const bool left = x - 5.0 - width >= panel.left + 4.0;
  double start = right ? x + 5.0 : x - 5.0 - width;
  if (!right && !left) {
    start = std::clamp(x - width / 2.0, panel.left + 4.0, panel_right - width);
  }
  canvas.line(x, panel.plot_bottom, x,
              right || left ? panel.plot_top - OBSERVED_STRIP + 4.0 : panel.plot_top - 1.0,
              colour + " stroke-width=\"2\"");
  canvas.text(start, panel.plot_top - 6.0, label, 11.0, Anchor::start, ink);
}

}  // namespace

// The statistic's line under a population's name; p as the rules write it.
std::string test_line(const common::PopulationResult& result, int permutations,
                      const std::string& p) {
  std::string text =
      "N = " + std::to_string(permutations) + " permuted data sets, p = " + p +
      ", xi = " + (result.xi_defined ? label_text(result.ld_xi, 4) : std::string("NA")) +
      " (observed " + label_text(result.observed_statistic, 6) + ", df ";
  text += result.df_defined ? std::to_string(result.degrees_of_freedom) : std::string("NA");
  return text + ", " + std::to_string(result.individuals) + " individuals)";
}

// Why a test has no information: its individuals and its notes.
std::string no_information_text(const common::PopulationResult& result) {
  std::string why = std::to_string(result.individuals) +
                    (result.individuals == 1 ? " individual" : " individuals");
  for (const std::string& note : result.notes) {
    why += "; " + note;
  }
  return why;
}

// A test without information has no statistic and no p: its panel says so
// in grey where the histogram would be (a classic panel also says why).
void draw_no_information(SvgCanvas& canvas, const common::PopulationResult& result,
                         const Panel& panel) {
  if (!panel.small) {
    canvas.text(PLOT_LEFT, panel.top + 44.0, no_information_text(result), 12.0, Anchor::start,
                MUTED_TEXT);
  }
  canvas.rect(panel.plot_left, panel.plot_top, panel.plot_right - panel.plot_left,
              panel.plot_bottom - panel.plot_top, NO_INFORMATION_STYLE);
  const double middle = (panel.plot_top + panel.plot_bottom) / 2.0;
  const double centre = (panel.plot_left + panel.plot_right) / 2.0;
  canvas.text(centre, middle, "no information", panel.small ? 13.0 : 16.0, Anchor::middle,
              MUTED_TEXT);
  if (!panel.small) {
    canvas.text(centre, middle + 22.0, "not tested: no permuted data sets, no p-value", 12.0,
                Anchor::middle, MUTED_TEXT);
  } else {
    canvas.text(centre, middle + 18.0, "not tested", 11.0, Anchor::middle, MUTED_TEXT);
  }
}

void draw_histogram(SvgCanvas& canvas, const common::PopulationResult& result, const Panel& panel) {
  std::vector<double> values;
  for (const double statistic : result.permuted_statistic) {
    if (std::isfinite(statistic)) {
      values.push_back(statistic);
    }
  }
  if (values.empty()) {
    const double x = panel.small ? (panel.plot_left + panel.plot_right) / 2.0 : PANEL_WIDTH / 2.0;
    const double y =
        panel.small ? (panel.plot_top + panel.plot_bottom) / 2.0 : panel.top + PANEL_HEIGHT / 2.0;
    canvas.text(x, y, "no permuted statistics", 12.0, Anchor::middle);
    return;
  }
  const double observed = result.observed_statistic;
  const bool has_observed = std::isfinite(observed);
  const Bins bins = bins_of(values);
  const Axis axis = axis_of(bins, observed, has_observed, panel.plot_left, panel.plot_right);
  draw_bars(canvas, bins, axis, panel);
  draw_x_axis(canvas, axis, panel, observed);
  if (has_observed) {
    draw_observed(canvas, axis, panel, observed);
  }
}

// The maximum-likelihood p as the console writes it; the classic p as before.
std::string p_text_of(const common::RunResults& results, const common::PopulationResult& result) {
  return results.judged_with_ties ? significant_text(result.p_value, 3)
                                  : label_text(result.p_value, 4);
}

// The notes on a test (a locus left out, sparse haplotypes) in one line.
std::string notes_line(const common::PopulationResult& result) {
  std::string notes;
  for (const std::string& note : result.notes) {
    notes += (notes.empty() ? "" : "; ") + note;
  }
  return notes;
}

// The groups of a grouping apart by commas, the loci of a group joined by +.
std::string grouping_text(const common::RunInput& input, const common::Grouping& grouping) {
  std::string text;
  for (int g = 0; g < grouping.group_total(); ++g) {
    text += (g == 0 ? "" : ", ") + group_loci(input, grouping.group_systems[g], "+");
  }
  return text;
}

namespace {

void draw_panel(SvgCanvas& canvas, const common::RunResults& results, int panel) {
  const common::PopulationResult& result = results.populations[panel];
  const double top = HEADER_HEIGHT + panel * PANEL_HEIGHT;
  canvas.begin_group("population-" + std::to_string(panel + 1), result.name);
  canvas.text(PLOT_LEFT, top + 24.0, result.name, 15.0, Anchor::start, "font-weight=\"bold\"");
  if (!result.informative) {
    draw_no_information(canvas, result, classic_panel(top));
  } else {
    canvas.text(
        PLOT_LEFT, top + 44.0,
        test_line(result, common::count_of(result.permuted_statistic), p_text_of(results, result)),
        12.0, Anchor::start);
    // The notes on the test, beside its name.
    if (const std::string notes = notes_line(result); !notes.empty()) {
      canvas.text(PLOT_RIGHT, top + 24.0, notes, 12.0, Anchor::end, MUTED_TEXT);
    }
    draw_histogram(canvas, result, classic_panel(top));
  }
  canvas.end_group();
}

}  // namespace

void write_histogram_classic(std::ostream& out, const common::RunInput& input,
                             const common::RunResults& results) {
  const std::string tested = "null: " + grouping_text(input, input.null_grouping) +
                             "   alternative: " + grouping_text(input, input.alt_grouping);
  // Many loci with long names widen the picture rather than run off it.
  const double width = std::max(
      PANEL_WIDTH, PLOT_LEFT + HEADER_CHARACTER_WIDTH * static_cast<double>(tested.size()) + 30.0);
  const int panels = common::count_of(results.populations);
  SvgCanvas canvas(width, HEADER_HEIGHT + std::max(panels, 1) * PANEL_HEIGHT);
  // The blanks between the groupings are kept, not folded into one.
  canvas.text(PLOT_LEFT, 22.0, tested, 13.0, Anchor::start, "xml:space=\"preserve\"");
  for (int panel = 0; panel < panels; ++panel) {
    draw_panel(canvas, results, panel);
  }
  out << canvas.finish();
}

}  // namespace results
