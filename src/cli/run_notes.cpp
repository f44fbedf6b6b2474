#include "cli/run_notes.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace cli {
namespace {

constexpr std::string_view NOT_CONVERGED = "EM did not converge in ";
constexpr std::string_view DECREASED = "EM log-likelihood decreased in ";

std::string count_text(int count, std::string_view one, std::string_view many) {
  return layout::integer_text(count) + " " + std::string(count == 1 ? one : many);
}

}  // namespace

PopulationNotes& NoteCounts::of(const std::string& population) {
  const auto found = std::find_if(
      populations_.begin(), populations_.end(),
      [&population](const PopulationNotes& notes) { return notes.population == population; });
  if (found != populations_.end()) {
    return *found;
  }
  PopulationNotes& added = populations_.emplace_back();
  added.population = population;
  return added;
}

void NoteCounts::add_pair(const NoteCounts& pair) {
  for (const PopulationNotes& notes : pair.populations_) {
    PopulationNotes& total = of(notes.population);
    total.not_converged += notes.not_converged;
    total.decreased_iterations += notes.decreased_iterations;
    total.not_converged_pairs += notes.not_converged > 0 ? 1 : 0;
    total.decreased_pairs += notes.decreased_iterations > 0 ? 1 : 0;
  }
}

void TableObserver::attempts_redrawn(int dataset_number, int redrawn) {
  layout::write_line(log_,
                     subject_ + "data set " + layout::integer_text(dataset_number) +
                         ": attempts abandoned and drawn again: " + layout::integer_text(redrawn) +
                         " (a permuted individual missed typings at two or more loci)");
}

void TableObserver::em_fit(const driver::EmFit& fit) {
  if (fit.converged && fit.decreased_iterations == 0) {
    return;
  }
  const std::string population(fit.population_name);
  const std::string where = subject_ + "data set " + layout::integer_text(fit.dataset_number) +
                            ", population " + population + ": ";
  const std::string model = " (" + std::string(fit.model) + " model)";
  PopulationNotes& notes = counts_.of(population);
  if (fit.decreased_iterations > 0) {
    notes.decreased_iterations += fit.decreased_iterations;
    layout::write_line(log_, where + decreased_text(fit.decreased_iterations) + model);
  }
  if (!fit.converged) {
    ++notes.not_converged;
    layout::write_line(log_, where + std::string(NOT_CONVERGED) +
                                 count_text(fit.last_iteration, "iteration", "iterations") + model);
  }
}

std::string not_converged_text(int not_converged, int estimations) {
  return std::string(NOT_CONVERGED) + layout::integer_text(not_converged) + " of " +
         layout::integer_text(estimations) + " estimations";
}

std::string decreased_text(int iterations) {
  return std::string(DECREASED) + count_text(iterations, "iteration", "iterations");
}

void write_note_counts(const NoteCounts& counts, bool pairs, layout::Sink& help) {
  const auto of_pairs = [pairs](int pair_count) {
    return pairs ? " of " + count_text(pair_count, "pair", "pairs") : std::string();
  };
  for (const PopulationNotes& notes : counts.populations()) {
    const std::string population = "population " + notes.population + ": ";
    if (notes.not_converged > 0) {
      help.write_record(layout::escape_controls(
          population + std::string(NOT_CONVERGED) + count_text(notes.not_converged, "fit", "fits") +
          of_pairs(notes.not_converged_pairs) + " (the log lists each)"));
    }
    if (notes.decreased_iterations > 0) {
      help.write_record(
          layout::escape_controls(population + decreased_text(notes.decreased_iterations) +
                                  of_pairs(notes.decreased_pairs) + " (the log lists each)"));
    }
  }
}

}  // namespace cli
