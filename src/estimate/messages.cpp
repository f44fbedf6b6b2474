#include "estimate/estimate.h"
#include "layout/layout.h"

namespace estimate {

void write_em_messages(const EmResult& result, layout::Sink& console) {
  for (int n = 0; n < result.not_increased_count; ++n) {
    layout::write(console, "('EM--not increased in this iteration')");
  }
  if (!result.converged) {
    layout::write(console, "('WARNING***:  EM not convergence after',I4,' iteration')",
                  {result.last_iteration});
  }
}

}  // namespace estimate
