#pragma once

#include <string>
#include <vector>

#include "driver/driver.h"
#include "layout/layout.h"

// What a genotype-table run survived, in one wording: a log line for each
// event, and standard error at most one line per kind of note and
// population, with its count, however many data sets and pairs the run has.

namespace cli {

// The notes counted for one population.
struct PopulationNotes {
  std::string population;
  int not_converged = 0;         // fits that reached the iteration limit
  int decreased_iterations = 0;  // iterations that lowered the log-likelihood
  int not_converged_pairs = 0;   // pair runs: the pairs with such fits
  int decreased_pairs = 0;
};

// The notes of a run (or of one pair's test), by population in the order
// first met.
class NoteCounts {
 public:
  [[nodiscard]] PopulationNotes& of(const std::string& population);
  // Adds one pair's notes, counting the pair once per kind it shows.
  void add_pair(const NoteCounts& pair);
  [[nodiscard]] const std::vector<PopulationNotes>& populations() const { return populations_; }

 private:
  std::vector<PopulationNotes> populations_;
};

// The observer of a table run: nothing on the console while the run goes
// on; each redrawn data set and each fit that did not converge or lowered
// its log-likelihood is one log line, beginning with subject ("pair A ~ B, "
// in a pair run, empty otherwise), and is counted in counts.
class TableObserver final : public driver::RunObserver {
 public:
  TableObserver(layout::Sink& log, std::string subject, NoteCounts& counts)
      : log_(log), subject_(std::move(subject)), counts_(counts) {}
  void build_messages(int /*dataset_number*/, const layout::MemorySink& /*console*/,
                      const layout::MemorySink& /*log*/) override {}
  void data_set_built(int /*dataset_number*/) override {}
  void attempts_redrawn(int dataset_number, int redrawn) override;
  void em_fit(const driver::EmFit& fit) override;

 private:
  layout::Sink& log_;
  std::string subject_;
  NoteCounts& counts_;
};

// "EM did not converge in N of M estimations": the console's closing note
// of a table run and the classic run's warning.
[[nodiscard]] std::string not_converged_text(int not_converged, int estimations);
// "EM log-likelihood decreased in N iterations".
[[nodiscard]] std::string decreased_text(int iterations);

// The standard-error lines of counts: per population, one line per kind of
// note, e.g. "population North: EM did not converge in 12 fits (the log
// lists each)"; with pairs, how many pairs the fits belong to.
void write_note_counts(const NoteCounts& counts, bool pairs, layout::Sink& help);

}  // namespace cli
