#pragma once

// Memory the process has freed goes back to the system: the allocator keeps
// freed blocks in per-thread arenas, which would otherwise hold the peak of
// every thread long after the lists in them are let go.

namespace driver {

// Returns the freed memory at the top of the allocator's heaps to the system.
void give_back_freed_memory();

}  // namespace driver
