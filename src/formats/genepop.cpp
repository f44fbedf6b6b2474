#include "common/stop.h"
#include "formats/formats_internal.h"

namespace formats::detail {

bool looks_like_genepop(std::string_view /*head*/) { return false; }

GenotypeData read_genepop(const Source& source, const ReadOptions& /*options*/,
                          const NoteWriter& /*note*/) {
  throw common::FileError{source.path, 0, "this format cannot be read yet"};
}

}  // namespace formats::detail
