#include "driver/driver.h"
#include "estimate/estimate.h"
#include "layout/layout.h"

namespace driver {

void ClassicObserver::build_messages(int /*dataset_number*/, const layout::MemorySink& console,
                                     const layout::MemorySink& log) {
  console.write_to(console_);
  log.write_to(log_);
}

void ClassicObserver::data_set_built(int dataset_number) {
  layout::write(console_, "('npermu=',5X,I4)", {dataset_number + 1});
}

void ClassicObserver::em_fit(const EmFit& fit) {
  estimate::write_em_messages(fit.decreased_iterations, fit.converged, fit.last_iteration,
                              console_);
}

}  // namespace driver
