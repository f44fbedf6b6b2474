#pragma once

#include <string>

#include "common/text.h"
#include "genotypes/genotypes.h"

// The parts of the genotype model its unit test reaches directly.

namespace genotypes::detail {

using common::join;

// The 5-character typing that stands for 0-based allele a: "00001" for a = 0.
[[nodiscard]] std::string synthetic_typing(int a);

// The code letter of 0-based allele a: the bytes 33..126 except '?' and '^',
// then 128..255, then 1..31; a < MAX_LOCUS_ALLELES.
[[nodiscard]] char allele_code_of(int a);

}  // namespace genotypes::detail
