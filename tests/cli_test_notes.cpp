#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/run_notes.h"
#include "layout/layout.h"

namespace {

driver::EmFit fit(int dataset_number, const char* population, bool converged, int decreased) {
  return {dataset_number, 0, population, "alternative", converged ? 12 : 200, decreased, converged};
}

// A pair run's observers: each names its pair in the log; standard error
// gets one line per kind of note and population, however many fits and
// pairs show it, and nothing for fits that went well.
TEST(TableObserver, PairLogLinesNameThePairAndStandardErrorCountsPerPopulation) {
  layout::MemorySink log;
  std::vector<cli::NoteCounts> pair_notes(2);
  cli::TableObserver first(log, "pair A ~ B, ", pair_notes[0]);
  first.data_set_built(0);
  first.em_fit(fit(0, "North", true, 0));
  first.em_fit(fit(3, "North", false, 0));
  first.em_fit(fit(4, "North", true, 2));
  first.attempts_redrawn(6, 1);
  cli::TableObserver second(log, "pair A ~ C, ", pair_notes[1]);
  for (int n = 1; n <= 500; ++n) {
    second.em_fit(fit(n, "North", false, 0));
  }
  second.em_fit(fit(7, "South", false, 1));
  const std::vector<std::string> first_lines(log.records().begin(), log.records().begin() + 3);
  EXPECT_EQ(first_lines,
            (std::vector<std::string>{
                "pair A ~ B, data set 3, population North: EM did not converge in 200 "
                "iterations (alternative model)",
                "pair A ~ B, data set 4, population North: EM log-likelihood decreased in 2 "
                "iterations (alternative model)",
                "pair A ~ B, data set 6: attempts abandoned and drawn again: 1 (a permuted "
                "individual missed typings at two or more loci)"}));
  EXPECT_EQ(log.records().size(), 3U + 500U + 2U);

  cli::NoteCounts run;
  for (const cli::NoteCounts& pair : pair_notes) {
    run.add_pair(pair);
  }
  layout::MemorySink help;
  cli::write_note_counts(run, true, help);
  EXPECT_EQ(help.records(),
            (std::vector<std::string>{
                "population North: EM did not converge in 501 fits of 2 pairs (the log lists "
                "each)",
                "population North: EM log-likelihood decreased in 2 iterations of 1 pair (the "
                "log lists each)",
                "population South: EM did not converge in 1 fit of 1 pair (the log lists each)",
                "population South: EM log-likelihood decreased in 1 iteration of 1 pair (the "
                "log lists each)"}));
}

TEST(TableObserver, OverallRunLinesWithoutAPair) {
  layout::MemorySink log;
  cli::NoteCounts notes;
  cli::TableObserver observer(log, "", notes);
  observer.em_fit(fit(0, "Bad\x01name", false, 0));
  EXPECT_EQ(log.records(),
            std::vector<std::string>{"data set 0, population Bad\x01name: EM did not converge "
                                     "in 200 iterations (alternative model)"});
  layout::MemorySink help;
  cli::write_note_counts(notes, false, help);
  // A name's control bytes are shown, not sent to the terminal.
  EXPECT_EQ(help.records(), std::vector<std::string>{"population Bad\\x01name: EM did not "
                                                     "converge in 1 fit (the log lists each)"});
}

}  // namespace
