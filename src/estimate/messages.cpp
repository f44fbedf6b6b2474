#include "estimate/estimate.h"
#include "layout/layout.h"

namespace estimate {

void write_em_messages(int not_increased_count, bool converged, int last_iteration,
                       layout::Sink& console) {
  for (int n = 0; n < not_increased_count; ++n) {
    layout::write(console, "('EM--not increased in this iteration')");
  }
  if (!converged) {
    // "EM not convergence after ... iteration" is the classic console's own
    // wording, kept byte for byte on purpose: users' scripts and stored
    // console logs match these exact bytes. Do not correct it.
    layout::write(console, "('WARNING***:  EM not convergence after',I4,' iteration')",
                  {last_iteration});
  }
}

}  // namespace estimate
