#pragma once

#include <string_view>

#include "formats/formats.h"

// The readers of the table of formats, one file each: a detector and a reader.

namespace formats::detail {

using genotypes::GenotypeData;
using genotypes::NoteWriter;

[[nodiscard]] bool looks_like_table(std::string_view head);
[[nodiscard]] GenotypeData read_table(const Source& source, const ReadOptions& options,
                                      const NoteWriter& note);

[[nodiscard]] bool looks_like_genepop(std::string_view head);
[[nodiscard]] GenotypeData read_genepop(const Source& source, const ReadOptions& options,
                                        const NoteWriter& note);

[[nodiscard]] bool looks_like_arlequin(std::string_view head);
[[nodiscard]] GenotypeData read_arlequin(const Source& source, const ReadOptions& options,
                                         const NoteWriter& note);

[[nodiscard]] bool looks_like_fstat(std::string_view head);
[[nodiscard]] GenotypeData read_fstat(const Source& source, const ReadOptions& options,
                                      const NoteWriter& note);

[[nodiscard]] bool looks_like_genetix(std::string_view head);
[[nodiscard]] GenotypeData read_genetix(const Source& source, const ReadOptions& options,
                                        const NoteWriter& note);

[[nodiscard]] bool looks_like_structure(std::string_view head);
[[nodiscard]] GenotypeData read_structure(const Source& source, const ReadOptions& options,
                                          const NoteWriter& note);

[[nodiscard]] bool looks_like_pypop(std::string_view head);
[[nodiscard]] GenotypeData read_pypop(const Source& source, const ReadOptions& options,
                                      const NoteWriter& note);

[[nodiscard]] bool looks_like_vcf(std::string_view head);
[[nodiscard]] GenotypeData read_vcf(const Source& source, const ReadOptions& options,
                                    const NoteWriter& note);

}  // namespace formats::detail
