#include <cassert>
#include <string>

#include "genotypes/genotypes.h"
#include "genotypes/genotypes_internal.h"

namespace genotypes::detail {

std::string synthetic_typing(int a) {
  assert(a >= 0 && a < 99999);
  std::string text = std::to_string(a + 1);
  return join({std::string(5 - text.size(), '0'), text});
}

char allele_code_of(int a) {
  assert(a >= 0 && a < MAX_LOCUS_ALLELES);
  // The printable bytes first, so that small loci read as the classic files
  // do; '?' marks a missing typing and '^' an empty part of a code string.
  int byte = 33;
  for (int left = a;; ++byte) {
    if (byte == 127) {
      byte = 128;
    } else if (byte == 256) {
      byte = 1;
    }
    if (byte == '?' || byte == '^') {
      continue;
    }
    if (left == 0) {
      break;
    }
    --left;
  }
  return static_cast<char>(static_cast<unsigned char>(byte));
}

}  // namespace genotypes::detail
