#include <malloc.h>

#include "driver/driver.h"
#include "driver/memory_internal.h"

namespace driver {

namespace {

// Two arenas serve any number of threads: the estimation allocates little
// once its tables have their capacity.
constexpr int ARENAS_AT_MOST = 2;

}  // namespace

void limit_allocator_arenas() {
  // NOLINTNEXTLINE(concurrency-mt-unsafe): called once, before any thread starts.
  mallopt(M_ARENA_MAX, ARENAS_AT_MOST);
}

void give_back_freed_memory() { malloc_trim(0); }

}  // namespace driver
