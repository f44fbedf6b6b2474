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
constexpr std::string_view MUTED_TEXT = "fill=\"#666666\"";
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
Axis axis_of(const Bins& bins, double observed, bool has_observed) {
  const double span = bins.high - bins.low;
  const double near_low = bins.low - 0.5 * span;
  const double near_high = bins.high + 0.5 * span;
  if (!has_observed || (observed >= near_low && observed <= near_high)) {
    const double d0 = has_observed ? std::min(bins.low, observed) : bins.low;
    const double d1 = has_observed ? std::max(bins.high, observed) : bins.high;
    const double pad = 0.03 * (d1 - d0);
    return {{{d0 - pad, d1 + pad, PLOT_LEFT, PLOT_RIGHT}}, false, 0.0};
  }
  const double width = PLOT_RIGHT - PLOT_LEFT;
  const Segment histogram{bins.low, bins.high, 0.0, 0.0};
  const Segment own{observed - 0.1 * span, observed + 0.1 * span, 0.0, 0.0};
  if (observed > bins.high) {
    return {{{histogram.d0, histogram.d1, PLOT_LEFT, PLOT_LEFT + 0.78 * width},
             {own.d0, own.d1, PLOT_LEFT + 0.84 * width, PLOT_RIGHT}},
            true,
            PLOT_LEFT + 0.81 * width};
  }
  return {{{own.d0, own.d1, PLOT_LEFT, PLOT_LEFT + 0.16 * width},
           {histogram.d0, histogram.d1, PLOT_LEFT + 0.22 * width, PLOT_RIGHT}},
          true,
          PLOT_LEFT + 0.19 * width};
}

void draw_x_axis(SvgCanvas& canvas, const Axis& axis, double top, double observed) {
  const double y = top + PLOT_BOTTOM;
  std::vector<Tick> ticks;
  for (const Segment& segment : axis.segments) {
    canvas.line(segment.p0, y, segment.p1, y, AXIS_STYLE);
    const bool own = axis.broken && observed >= segment.d0 && observed <= segment.d1;
    const std::vector<double> values =
        own ? std::vector<double>{observed}
            : nice_ticks(segment.d0, segment.d1, axis.broken ? 5 : 7);
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
  canvas.text((PLOT_LEFT + PLOT_RIGHT) / 2.0, y + 38.0, "statistic", 12.0, Anchor::middle);
}

void draw_bars(SvgCanvas& canvas, const Bins& bins, const Axis& axis, double top) {
  const int most = *std::max_element(bins.count.begin(), bins.count.end());
  const double height = PLOT_BOTTOM - PLOT_TOP;
  const int bin_count = common::count_of(bins.count);
  const double width = (bins.high - bins.low) / bin_count;
  for (int k = 0; k < bin_count; ++k) {
    if (bins.count[k] == 0) {
      continue;
    }
    const double x0 = axis.position(bins.low + k * width);
    const double x1 = axis.position(bins.low + (k + 1) * width);
    const double h = height * bins.count[k] / most;
    canvas.rect(x0, top + PLOT_BOTTOM - h, x1 - x0, h, BAR_STYLE);
  }
  std::vector<Tick> ticks;
  for (const double value : nice_ticks(0.0, most, 5)) {
    if (value == std::floor(value)) {  // counts are whole
      ticks.push_back({top + PLOT_BOTTOM - height * value / most, label_text(value, 7)});
    }
  }
  canvas.line(PLOT_LEFT, top + PLOT_TOP, PLOT_LEFT, top + PLOT_BOTTOM, AXIS_STYLE);
  canvas.y_ticks(PLOT_LEFT, ticks);
  const double middle = top + (PLOT_TOP + PLOT_BOTTOM) / 2.0;
  canvas.text(22.0, middle, "permuted data sets", 12.0, Anchor::middle,
              "transform=\"rotate(-90 22 " + fixed_text(middle, 2) + ")\"");
}

void draw_observed(SvgCanvas& canvas, const Axis& axis, double top, double observed) {
  const double x = axis.position(observed);
  const std::string colour = "stroke=\"" + std::string(OBSERVED_COLOUR) + "\"";
  canvas.line(x, top + PLOT_BOTTOM, x, top + PLOT_TOP - 6.0, colour + " stroke-width=\"2\"");
  const bool right_half = x > (PLOT_LEFT + PLOT_RIGHT) / 2.0;
  canvas.text(right_half ? x - 5.0 : x + 5.0, top + PLOT_TOP + 6.0,
              "observed " + label_text(observed, 6), 11.0, right_half ? Anchor::end : Anchor::start,
              "fill=\"" + std::string(OBSERVED_COLOUR) + "\"");
}

// The statistic's line under a population's name; p as the rules write it.
std::string subtitle(const common::PopulationResult& result, int permutations,
                     const std::string& p) {
  std::string text =
      "N = " + std::to_string(permutations) + " permuted data sets, p = " + p +
      ", xi = " + (result.xi_defined ? label_text(result.ld_xi, 4) : std::string("NA")) +
      " (observed " + label_text(result.observed_statistic, 6) + ", df ";
  text += result.df_defined ? std::to_string(result.degrees_of_freedom) : std::string("NA");
  return text + ", " + std::to_string(result.individuals) + " individuals)";
}

// A test without information has no statistic and no p: its panel says so
// and why, in grey, where the histogram would be.
void draw_no_information(SvgCanvas& canvas, const common::PopulationResult& result, double top) {
  std::string why = std::to_string(result.individuals) +
                    (result.individuals == 1 ? " individual" : " individuals");
  for (const std::string& note : result.notes) {
    why += "; " + note;
  }
  canvas.text(PLOT_LEFT, top + 44.0, why, 12.0, Anchor::start, MUTED_TEXT);
  canvas.rect(PLOT_LEFT, top + PLOT_TOP, PLOT_RIGHT - PLOT_LEFT, PLOT_BOTTOM - PLOT_TOP,
              NO_INFORMATION_STYLE);
  const double middle = top + (PLOT_TOP + PLOT_BOTTOM) / 2.0;
  canvas.text((PLOT_LEFT + PLOT_RIGHT) / 2.0, middle, "no information", 16.0, Anchor::middle,
              MUTED_TEXT);
  canvas.text((PLOT_LEFT + PLOT_RIGHT) / 2.0, middle + 22.0,
              "not tested: no permuted data sets, no p-value", 12.0, Anchor::middle, MUTED_TEXT);
}

void draw_histogram(SvgCanvas& canvas, const common::PopulationResult& result, double top) {
  std::vector<double> values;
  for (const double statistic : result.permuted_statistic) {
    if (std::isfinite(statistic)) {
      values.push_back(statistic);
    }
  }
  if (values.empty()) {
    canvas.text(PANEL_WIDTH / 2.0, top + PANEL_HEIGHT / 2.0, "no permuted statistics", 12.0,
                Anchor::middle);
    return;
  }
  const double observed = result.observed_statistic;
  const bool has_observed = std::isfinite(observed);
  const Bins bins = bins_of(values);
  const Axis axis = axis_of(bins, observed, has_observed);
  draw_bars(canvas, bins, axis, top);
  draw_x_axis(canvas, axis, top, observed);
  if (has_observed) {
    draw_observed(canvas, axis, top, observed);
  }
}

void draw_panel(SvgCanvas& canvas, const common::RunResults& results, int panel) {
  const common::PopulationResult& result = results.populations[panel];
  const double top = HEADER_HEIGHT + panel * PANEL_HEIGHT;
  canvas.begin_group("population-" + std::to_string(panel + 1), result.name);
  canvas.text(PLOT_LEFT, top + 24.0, result.name, 15.0, Anchor::start, "font-weight=\"bold\"");
  if (!result.informative) {
    draw_no_information(canvas, result, top);
  } else {
    // The maximum-likelihood p as the console writes it; the classic p as before.
    const std::string p = results.judged_with_ties ? significant_text(result.p_value, 3)
                                                   : label_text(result.p_value, 4);
    canvas.text(PLOT_LEFT, top + 44.0, subtitle(result, results.permutations, p), 12.0,
                Anchor::start);
    // The notes on the test (a locus left out, sparse haplotypes), beside its name.
    std::string notes;
    for (const std::string& note : result.notes) {
      notes += (notes.empty() ? "" : "; ") + note;
    }
    if (!notes.empty()) {
      canvas.text(PLOT_RIGHT, top + 24.0, notes, 12.0, Anchor::end, MUTED_TEXT);
    }
    draw_histogram(canvas, result, top);
  }
  canvas.end_group();
}

// The groups of a grouping apart by commas, the loci of a group joined by +.
std::string grouping_text(const common::RunInput& input, const common::Grouping& grouping) {
  std::string text;
  for (int g = 0; g < grouping.group_total(); ++g) {
    text += (g == 0 ? "" : ", ") + group_loci(input, grouping.group_systems[g], "+");
  }
  return text;
}

}  // namespace

void write_histogram_svg(std::ostream& out, const common::RunInput& input,
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
