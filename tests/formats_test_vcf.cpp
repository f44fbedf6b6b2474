// The VCF reader: the same genotypes from plain text, bgzip, gzip and BCF,
// by the file's name and from a pipe; the records --region and --loci choose,
// through an index and without; the samples --populations keeps; each
// refusal with its file and line. The compressed and BCF copies and their
// indexes are written with htslib into a folder of their own.

#include <gtest/gtest.h>
#include <htslib/bgzf.h>
#include <htslib/hts.h>
#include <htslib/tbx.h>
#include <htslib/vcf.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "formats/formats_internal.h"
#include "formats/vcf_internal.h"
#include "genotypes/genotypes.h"
#include "support/capture.h"

namespace {

namespace fs = std::filesystem;
using formats::detail::Owned;

const std::string HEADER =
    "##fileformat=VCFv4.2\n##contig=<ID=1>\n##contig=<ID=2>\n"
    "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">\n"
    "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\ta\tb\tc\tx\n";

// An ID, none (named 1:200), symbolic alleles; phased, partial and missing
// genotypes. The header takes lines 1 to 5.
const std::string RECORDS =
    "1\t100\trs1\tA\tG\t.\t.\t.\tGT\t0/1\t1|1\t./.\t0/0\n"
    "1\t200\t.\tC\tT,CA\t.\t.\t.\tGT\t2/.\t0/0\t.\t1/1\n"
    "2\t50\tL3\t<101>\t<103>\t.\t.\t.\tGT\t1/0\t0/0\t1/1\t0/1\n";

// x is in no population; z is not in the VCF.
const std::string POPULATIONS = "# sample population\na\tNorth\nb  North\n\nc\tSouth\nz\tSouth\n";

class VcfFiles : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "quarnel_vcf_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    write("pop.txt", POPULATIONS);
    options_.populations = path("pop.txt");
  }
  void TearDown() override { fs::remove_all(folder_); }

  [[nodiscard]] std::string path(const std::string& name) const {
    return (fs::path(folder_) / name).string();
  }

  void write(const std::string& name, const std::string& text) const {
    std::ofstream(path(name), std::ios::binary) << text;
  }

  // The text VCF `from` written again by htslib in `mode`: "wz" bgzip, "wb" BCF, "wbu"
  // uncompressed BCF.
  void rewrite(const std::string& from, const std::string& to, const char* mode) const {
    const Owned<htsFile> in(hts_open(path(from).c_str(), "r"));
    ASSERT_NE(in, nullptr);
    const Owned<bcf_hdr_t> header(bcf_hdr_read(in.get()));
    const Owned<htsFile> out(hts_open(path(to).c_str(), mode));
    ASSERT_EQ(bcf_hdr_write(out.get(), header.get()), 0);
    const Owned<bcf1_t> record(bcf_init());
    while (bcf_read(in.get(), header.get(), record.get()) == 0) {
      ASSERT_EQ(bcf_write(out.get(), header.get(), record.get()), 0);
    }
  }

  // The file read as the program reads it; `as` names it otherwise (a name
  // that is no file makes the reader take the bytes of the stream, as from a pipe).
  [[nodiscard]] genotypes::GenotypeData read(const std::string& name, std::string as = "") {
    std::ostringstream file;
    file << std::ifstream(path(name), std::ios::binary).rdbuf();
    const std::string bytes = file.str();
    std::istringstream in(bytes);
    const formats::Source source{as.empty() ? path(name) : as, in,
                                 std::string_view(bytes).substr(0, formats::HEAD_BYTES)};
    notes_.clear();
    return formats::detail::read_vcf(source, options_,
                                     [&](const std::string& line) { notes_.push_back(line); });
  }

  std::string folder_;
  formats::ReadOptions options_;
  std::vector<std::string> notes_;
};

std::vector<std::string> names_of(const genotypes::GenotypeData& data) {
  std::vector<std::string> names;
  for (const genotypes::Locus& locus : data.loci) {
    names.push_back(locus.name + (locus.alias.empty() ? "" : "=" + locus.alias));
  }
  return names;
}

TEST_F(VcfFiles, EveryEncodingByNameOrPipeGivesTheSameGenotypes) {
  write("plain.vcf", HEADER + RECORDS);
  rewrite("plain.vcf", "bgzip.vcf.gz", "wz");
  rewrite("plain.vcf", "compressed.bcf", "wb");
  rewrite("plain.vcf", "uncompressed.bcf", "wbu");
  {
    const Owned<BGZF> gzip(bgzf_open(path("gzip.vcf.gz").c_str(), "wg"));
    const std::string text = HEADER + RECORDS;
    ASSERT_EQ(bgzf_write(gzip.get(), text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  using Typings = std::vector<std::array<std::string, 2>>;
  const std::vector<Typings> expected = {
      {{"A", "G"}, {"CA", ""}, {"103", "101"}},
      {{"G", "G"}, {"C", "C"}, {"101", "101"}},
      {{"", ""}, {"", ""}, {"103", "103"}},
  };
  for (const char* name :
       {"plain.vcf", "bgzip.vcf.gz", "gzip.vcf.gz", "compressed.bcf", "uncompressed.bcf"}) {
    for (const bool pipe : {false, true}) {
      SCOPED_TRACE(std::string(name) + (pipe ? " from a pipe" : " by its name"));
      const genotypes::GenotypeData data = read(name, pipe ? "/dev/fd/63" : "");
      EXPECT_EQ(names_of(data), (std::vector<std::string>{"rs1=1:100", "1:200", "L3=2:50"}));
      ASSERT_EQ(data.individuals.size(), 3U);
      for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(data.individuals[i].id, std::string(1, static_cast<char>('a' + i)));
        EXPECT_EQ(data.individuals[i].population, i < 2 ? "North" : "South");
        EXPECT_EQ(data.individuals[i].line, 0);
        EXPECT_EQ(data.individuals[i].typings, expected[i]);
      }
      EXPECT_EQ(notes_, (std::vector<std::string>{
                            "warning: " + (pipe ? "/dev/fd/63" : path(name)) +
                                ": 1 sample of the VCF is in no population of --populations "
                                "and is left out (\"x\")",
                            "warning: " + path("pop.txt") +
                                ": 1 sample listed is not in the VCF (\"z\")"}));
    }
  }
}

TEST_F(VcfFiles, RegionAndLociChooseRecordsThroughAnIndexOrWithout) {
  write("plain.vcf", HEADER + RECORDS + "2\t900\trs9\tA\tG\t.\t.\t.\tGT\t0/1\t1/1\t0/0\t0/0\n");
  rewrite("plain.vcf", "tbi.vcf.gz", "wz");
  rewrite("plain.vcf", "csi.vcf.gz", "wz");
  rewrite("plain.vcf", "csi.bcf", "wb");
  rewrite("plain.vcf", "none.bcf", "wb");
  ASSERT_EQ(tbx_index_build(path("tbi.vcf.gz").c_str(), 0, &tbx_conf_vcf), 0);
  ASSERT_EQ(tbx_index_build(path("csi.vcf.gz").c_str(), 14, &tbx_conf_vcf), 0);
  ASSERT_EQ(bcf_index_build(path("csi.bcf").c_str(), 14), 0);
  struct Case {
    std::string region;
    std::vector<std::string> loci;
    std::vector<std::string> chosen;
    bool by_index;  // when the file has an index
  };
  const std::vector<Case> cases = {
      {"1", {}, {"rs1=1:100", "1:200"}, true},
      {"1:150-250", {}, {"1:200"}, true},
      {"2:1-1,000", {}, {"L3=2:50", "rs9=2:900"}, true},
      {"1:100-100", {}, {"rs1=1:100"}, true},
      {"", {"2:900", "1:100", "1:200"}, {"rs1=1:100", "1:200", "rs9=2:900"}, true},
      {"", {"L3", "1:200", "nowhere"}, {"1:200", "L3=2:50"}, false},
      {"2", {"rs9"}, {"rs9=2:900"}, true},
  };
  for (const char* name : {"plain.vcf", "tbi.vcf.gz", "csi.vcf.gz", "csi.bcf", "none.bcf"}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(name) + " --region " + c.region);
      options_.region = c.region;
      options_.loci = c.loci;
      EXPECT_EQ(names_of(read(name)), c.chosen);
      std::ifstream file(path(name), std::ios::binary);
      const formats::Source source{path(name), file, ""};
      genotypes::ReadBudget budget(name, 0);
      const formats::detail::VcfRecords records(
          source, {formats::detail::parse_vcf_region(c.region), {c.loci.begin(), c.loci.end()}}, 0,
          budget);
      const bool indexed =
          std::string_view(name).starts_with("csi") || std::string_view(name).starts_with("tbi");
      EXPECT_EQ(records.indexed(), c.by_index && indexed);
    }
  }
}

TEST_F(VcfFiles, AnAliasOfTwoRecordsIsDropped) {
  write("same.vcf", HEADER +
                        "1\t100\trs1\tA\tG\t.\t.\t.\tGT\t0/1\t1/1\t0/0\t0/0\n"
                        "1\t100\trs2\tA\tAT\t.\t.\t.\tGT\t0/1\t1/1\t0/0\t0/0\n"
                        "1\t200\trs3\tA\tG\t.\t.\t.\tGT\t0/1\t1/1\t0/0\t0/0\n");
  EXPECT_EQ(names_of(read("same.vcf")), (std::vector<std::string>{"rs1", "rs2", "rs3=1:200"}));
  EXPECT_EQ(notes_.back(), "warning: " + path("same.vcf") +
                               ": 2 records share their position with another record's (the "
                               "first at 1:100), so they are named by their ID alone");
}

TEST_F(VcfFiles, RefusalsNameTheFileAndLine) {
  const std::string record = "1\t100\trs1\tA\tG\t.\t.\t.\tGT\t";
  const std::string good = "1\t300\trs3\tA\tG\t.\t.\t.\tGT\t0/1\t0/0\t0/0\t0/0\n";
  const std::string columns = "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO";
  struct Case {
    std::string text;
    std::string populations;  // "" keeps POPULATIONS
    std::string region;
    std::string error;  // after "FILE:" when it starts with a line number, else whole
  };
  const std::vector<Case> cases = {
      {HEADER + good + record + "0/1\t1\t0/0\t0/0\n", "", "",
       "7: record 1:100: sample \"b\" has the haploid genotype 1; the test takes diploid "
       "genotypes (./. for a missing one)"},
      {HEADER + record + "0/1\t0/1/1\t0/0\t0/0\n", "", "",
       "6: record 1:100: sample \"b\" has the genotype 0/1/1 of more than two alleles; the test "
       "takes diploid genotypes"},
      {HEADER + record + "0/2\t0/1\t0/0\t0/0\n", "", "",
       "6: record 1:100: sample \"a\" has the genotype 0/2, but the record has 2 alleles"},
      {HEADER + "1\t100\trs1\tA\tG\t.\t.\t.\tDP\t1\t2\t3\t4\n", "", "",
       "6: record 1:100: it has no GT field: the test needs every sample's genotype"},
      {HEADER + good + good, "", "",
       "7: record 1:300: its locus name \"rs3\" is also that of the record at 1:300 (line 6); "
       "give the records IDs of their own, join them into one multi-allelic record, or choose "
       "one with --region or --loci"},
      {HEADER + record + "0/1\t0/1\n", "", "",
       "6: record 1:100: htslib cannot read it: fewer columns than the #CHROM line (columns are "
       "separated by tabs)"},
      {HEADER + record + "0/x\t0/1\t0/0\t0/0\n", "", "",
       "6: record 1:100: htslib cannot read it: a value out of shape (a GT such as 0/1 or 1|2 "
       "takes allele numbers and '.')"},
      {HEADER + good + "1\tabc\trs1\tA\tG\t.\t.\t.\tGT\t0/1\t0/1\t0/0\t0/0\n", "", "",
       "7: record 1:abc: its POS is no position (a whole number, 1 for the first base)"},
      {"##fileformat=VCFv4.2\n" + good, "", "", "2: a record before the header's #CHROM line"},
      {"##fileformat=VCFv4.2\n", "", "", "0: the file ends before the header's #CHROM line"},
      {"##fileformat=VCFv4.2\n#CHROM POS ID REF ALT QUAL FILTER INFO FORMAT a\n", "", "",
       "2: the #CHROM line must begin with the columns #CHROM POS ID REF ALT QUAL FILTER INFO, "
       "separated by tabs"},
      {"##fileformat=VCFv4.2\n" + columns + "\n", "", "",
       "2: the VCF has no samples (no FORMAT column and sample columns)"},
      {"##fileformat=VCFv4.2\n" + columns + "\tFORMAT\ta\tb\ta\n", "", "",
       "2: the sample \"a\" is named twice (columns 10 and 12)"},
      {HEADER + good + "#more\n", "", "", "7: a header line after the #CHROM line"},
      {HEADER + good, "a North\nb\n", "",
       "pop.txt:2: a line gives a sample and its "
       "population, separated by a tab or blanks; this one has 1 field"},
      {HEADER + good, "a\tNorth\n# b\nb\tSouth\na\tSouth\n", "",
       "pop.txt:4: the sample \"a\" is listed a second time (first at line 1)"},
      {HEADER + good, "y\tNorth\n", "",
       "0: no sample of the VCF is in --populations \"POP\" (the VCF's samples: \"a\", \"b\", "
       "\"c\", \"x\")"},
      {HEADER + good, "", "1:2-1",
       "--region:0: \"1:2-1\": FROM-TO is a stretch of 1-based positions, FROM at least 1 and "
       "at most TO"},
      {HEADER + good, "", "2",
       "--region:0: \"2\" chooses no record of FILE (a region is CHROM or CHROM:FROM-TO, "
       "1-based, both ends included)"},
      {"population,id,L1_1,L1_2\n", "", "",
       "0: is not a VCF or BCF file (htslib reads it as unknown text); a VCF starts with the "
       "line ##fileformat=VCF..."},
      {std::string("BCF\2\2\xff\xff\xff\x7f", 9), "", "",
       "0: the BCF header declares 2147483647 bytes, more than the memory budget of 1000000 "
       "bytes: the file is damaged, or raise --max-memory"},
  };
  options_.table.max_bytes = 1'000'000;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    write("bad.vcf", c.text);
    write("pop.txt", c.populations.empty() ? POPULATIONS : c.populations);
    options_.region = c.region;
    std::string expected = c.error;
    for (const auto& [word, name] :
         {std::pair<std::string, std::string>{"FILE", path("bad.vcf")}, {"POP", path("pop.txt")}}) {
      if (const std::size_t at = expected.find(word); at != std::string::npos) {
        expected.replace(at, word.size(), name);
      }
    }
    if (expected.starts_with("pop.txt")) {
      expected = path(expected);
    } else if (!expected.starts_with("--region")) {
      expected = path("bad.vcf") + ":" + expected;
    }
    EXPECT_EQ(test_support::error_of([&] { static_cast<void>(read("bad.vcf")); }), expected);
  }
}

TEST_F(VcfFiles, CompressedAndBcfRecordsAreNamedByPositionAlone) {
  write("haploid.vcf", HEADER + "1\t100\trs1\tA\tG\t.\t.\t.\tGT\t0/1\t1\t0/0\t0/0\n");
  rewrite("haploid.vcf", "haploid.bcf", "wb");
  rewrite("haploid.vcf", "haploid.vcf.gz", "wz");
  for (const char* name : {"haploid.bcf", "haploid.vcf.gz"}) {
    EXPECT_EQ(test_support::error_of([&] { static_cast<void>(read(name)); }),
              path(name) +
                  ":0: record 1:100: sample \"b\" has the haploid genotype 1; the test takes "
                  "diploid genotypes (./. for a missing one)");
  }
  options_.populations.clear();
  EXPECT_EQ(test_support::error_of([&] { static_cast<void>(read("haploid.bcf")); }),
            path("haploid.bcf") +
                ":0: a VCF gives no populations: name a file of 'sample population' lines with "
                "--populations FILE");
}

TEST(VcfDetection, KnowsPlainTextBgzipGzipAndBcfByTheirFirstBytes) {
  EXPECT_TRUE(formats::detail::looks_like_vcf("##fileformat=VCFv4.3\n"));
  EXPECT_TRUE(formats::detail::looks_like_vcf("\x1f\x8b\x08\x04"));
  EXPECT_TRUE(formats::detail::looks_like_vcf(std::string_view("BCF\x02\x02", 5)));
  EXPECT_FALSE(formats::detail::looks_like_vcf("#CHROM\tPOS\n"));
  EXPECT_FALSE(formats::detail::looks_like_vcf("population,id,L1_1\n"));
  EXPECT_EQ(formats::detect_format("x.bcf", "\x1f\x8b\x08\x04").name, "vcf");
}

}  // namespace
