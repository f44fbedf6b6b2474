// Writing: the records a write operation produces, the field formatters and
// the record endings of the sinks.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "common/text.h"
#include "layout/fields_internal.h"
#include "layout/layout.h"

namespace {

using Records = std::vector<std::string>;
using layout::WriteValue;

Records records(layout::LayoutText text, std::initializer_list<WriteValue> values = {}) {
  return layout::format_records(layout::parsed(text),
                                std::span<const WriteValue>(values.begin(), values.size()));
}

TEST(LayoutWrite, AbortingMessageWritesSixLines) {
  EXPECT_EQ(
      records("(/,/,' ABORTING JOB',/,/,' No phenotype data records on input file.',/)"),
      (Records{"", "", " ABORTING JOB", "", " No phenotype data records on input file.", ""}));
}

TEST(LayoutWrite, DatasetLine) {
  const Records lines = records("(' Dataset ',I4,' Tries =',I4)", {7, 12});
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], " Dataset    7 Tries =  12");
  EXPECT_EQ(lines[0].size(), 25u);
}

TEST(LayoutWrite, ProgressLine) {
  EXPECT_EQ(records("('npermu=',5X,I4)", {8}), (Records{"npermu=        8"}));
}

TEST(LayoutWrite, SummaryLine) {
  const common::PopulationName name("POP1");
  EXPECT_EQ(records("(A10,1X,F5.3,2X,F5.3,4X,F5.3,4X,F8.2,2X,F8.3,2X,F8.3,2X,I4)",
                    {name.view(), 0.5, 0.25, -0.0004, 123.456, 0.0625, 1e6, 12}),
            (Records{"POP1        .500   .250    -.000      123.46      .062  ********    12"}));
}

TEST(LayoutWrite, TooManyPopulationsMessage) {
  const common::PopulationName name("TWENTYFIRST");
  EXPECT_EQ(
      records("(/,/,/,' NON-FATAL PROBLEM',5X,'MORE THAN ',I2,' SAMPLE POPLUATIONS FOUND "
              "ON INPUT',/,/,'  Will NOT Process any samples after ',A20,/,/)",
              {20, name.view()}),
      (Records{"", "", "", " NON-FATAL PROBLEM     MORE THAN 20 SAMPLE POPLUATIONS FOUND ON INPUT",
               "", "  Will NOT Process any samples after TWENTYFIRST         ", "", ""}));
}

TEST(LayoutWrite, UnknownAlleleMessageStopsAtTheNextDataItem) {
  const common::Typing a1("A1");
  const common::Typing a2("A2");
  const common::Typing b1("B10");
  const common::Typing b2("B2");
  const common::Typing c1("C1");
  const common::Typing c2("C200");
  EXPECT_EQ(records("(/,/,' FATAL ERROR:',/,' Encountered allele not in the allele list.',/,"
                    "' Processing genetic system number: ',I3,' in the phenotype set below:',/,"
                    "' Phenotypes ',10(2A5,'..'))",
                    {2, a1.view(), a2.view(), b1.view(), b2.view(), c1.view(), c2.view()}),
            (Records{"", "", " FATAL ERROR:", " Encountered allele not in the allele list.",
                     " Processing genetic system number:   2 in the phenotype set below:",
                     " Phenotypes A1   A2   ..B10  B2   ..C1   C200 .."}));
}

TEST(LayoutWrite, MessagesWithoutValues) {
  EXPECT_EQ(records("(/,' END OF FILE ENCOUNTERED UNEXPECTEDLY')"),
            (Records{"", " END OF FILE ENCOUNTERED UNEXPECTEDLY"}));
  EXPECT_EQ(records("('EM--not increased in this iteration')"),
            (Records{"EM--not increased in this iteration"}));
  EXPECT_EQ(records("('WARNING***:  EM not convergence after',I4,' iteration')", {200}),
            (Records{"WARNING***:  EM not convergence after 200 iteration"}));
}

TEST(LayoutWrite, SlashesAtTheEndsMakeEmptyLines) {
  EXPECT_EQ(records("('a',/)"), (Records{"a", ""}));
  EXPECT_EQ(records("(/,/,'a')"), (Records{"", "", "a"}));
  EXPECT_EQ(records("(/)"), (Records{"", ""}));
  EXPECT_EQ(records("(2(/))"), (Records{"", "", ""}));
  EXPECT_EQ(records("(I2/)", {5}), (Records{" 5", ""}));
}

TEST(LayoutWrite, TextWithApostrophe) {
  EXPECT_EQ(records("(' it''s ',A)", {"x"}), (Records{" it's x"}));
}

TEST(LayoutWrite, ReversionToTheWholeList) {
  std::vector<WriteValue> values;
  for (int i = 1; i <= 25; ++i) {
    values.emplace_back(i);
  }
  EXPECT_EQ(layout::format_records(layout::parsed("(10I4)"), values),
            (Records{"   1   2   3   4   5   6   7   8   9  10",
                     "  11  12  13  14  15  16  17  18  19  20", "  21  22  23  24  25"}));
  values.resize(20);
  EXPECT_EQ(layout::format_records(layout::parsed("(10I4)"), values).size(), 2u);
}

TEST(LayoutWrite, ReversionToTheLastTopLevelGroup) {
  const std::string letters = "abcdefghijklmnopqrstuvwxy";
  std::vector<WriteValue> values;
  for (std::size_t i = 0; i < letters.size(); ++i) {
    values.emplace_back(std::string_view(letters).substr(i, 1));
  }
  const Records lines = layout::format_records(layout::parsed("('>',20(4X,A1,1X))"), values);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), 1u + 20 * 6);
  EXPECT_EQ(lines[0].substr(0, 13), ">    a     b ");
  // The group is resumed with its repeat count, without the text before it.
  // Blanks before the next data item are written even when no value is left.
  EXPECT_EQ(lines[1], "    u     v     w     x     y     ");
}

TEST(LayoutWrite, NoValuesStillWritesUpToTheFirstDataItem) {
  EXPECT_EQ(records("(I4)"), (Records{""}));
  EXPECT_EQ(records("('n=',I4,'end')"), (Records{"n="}));
  // A trailing nX is written as blanks, like every nX.
  EXPECT_EQ(records("(I4,2X)", {1}), (Records{"   1  "}));
}

TEST(LayoutWrite, IntegerFields) {
  struct Case {
    int value;
    int width;
    std::string_view field;
  };
  const Case cases[] = {
      {7, 4, "   7"},
      {-5, 4, "  -5"},
      {0, 4, "   0"},
      {9999, 4, "9999"},
      {10000, 4, "****"},
      {-999, 4, "-999"},
      {-1000, 4, "****"},
      {100, 2, "**"},
      {std::numeric_limits<int>::min(), 11, "-2147483648"},
      {2147483647, 11, " 2147483647"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(layout::format_integer(c.value, c.width), c.field) << c.value << " I" << c.width;
  }
}

TEST(LayoutWrite, FixedFields) {
  struct Case {
    double value;
    int width;
    int decimals;
    std::string_view field;
  };
  const Case cases[] = {
      {0.5, 5, 3, " .500"},    // no digit before the point
      {-0.25, 5, 3, "-.250"},  // minus sign, no digit before the point
      {-0.0, 5, 3, " .000"},   // negative zero is zero
      {0.0, 5, 3, " .000"},
      {-0.0004, 5, 3, "-.000"},   // rounds to zero and keeps its sign
      {0.0625, 5, 3, " .062"},    // exact binary tie: to the even digit
      {0.1875, 5, 3, " .188"},    // exact binary tie: to the even digit
      {0.375, 8, 2, "     .38"},  // exact binary tie: to the even digit
      {0.125, 8, 2, "     .12"},  // exact binary tie: to the even digit
      {1.125, 8, 2, "    1.12"},  // exact binary tie: to the even digit
      {2.675, 8, 2, "    2.67"},  // not a tie: the double is below 2.675
      {0.0005, 5, 3, " .001"},    // not a tie: the double is above 0.0005
      {0.9996, 5, 3, "1.000"},    // rounding carries into the integer part
      {-0.9996, 5, 3, "*****"},   // "-1.000" needs six columns
      {1e6, 8, 2, "********"},    // 1000000.00 needs ten columns
      {99999.99, 8, 2, "99999.99"},
      {1234.5678, 8, 3, "1234.568"},
      {12345.678, 8, 3, "********"},
      {-123.456, 8, 2, " -123.46"},
      {-12.5, 8, 3, " -12.500"},
      {2.5, 8, 0, "      2."},  // d = 0: tie to even, point kept
      {0.4, 5, 0, "   0."},     // d = 0: the single zero before the point
      {std::nan(""), 5, 3, "*****"},
      {std::numeric_limits<double>::infinity(), 8, 2, "********"},
      {-std::numeric_limits<double>::infinity(), 8, 3, "********"},
      {1.7976931348623157e308, 8, 2, "********"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(layout::format_fixed(c.value, c.width, c.decimals), c.field)
        << c.value << " F" << c.width << "." << c.decimals;
  }
}

TEST(LayoutWrite, AlphaFields) {
  EXPECT_EQ(layout::format_alpha("ab", 5), "   ab");  // blanks first, then the value
  EXPECT_EQ(layout::format_alpha("abcdefg", 5), "abcde");
  EXPECT_EQ(layout::format_alpha("abcde", 5), "abcde");
  EXPECT_EQ(layout::format_alpha("", 2), "  ");
  EXPECT_EQ(records("(A,'|',2A3)", {"xyz ", "a", "long"}), (Records{"xyz |  alon"}));
}

TEST(LayoutSink, MemorySinkKeepsRecords) {
  layout::MemorySink sink;
  layout::write(sink, "(/,' END OF FILE ENCOUNTERED UNEXPECTEDLY')");
  layout::write(sink, "(' Dataset ',I4,' Tries =',I4)", {0, 1});
  EXPECT_EQ(sink.records(),
            (Records{"", " END OF FILE ENCOUNTERED UNEXPECTEDLY", " Dataset    0 Tries =   1"}));
}

TEST(LayoutSink, StreamSinkEndsRecordsWithLfOrCrLf) {
  std::ostringstream console;
  std::ostringstream file;
  layout::StreamSink console_sink(console, layout::LineEnd::lf);
  layout::StreamSink file_sink(file, layout::LineEnd::crlf);
  layout::write(console_sink, "('a',/,/,'b')");
  layout::write(file_sink, "('a',/,/,'b')");
  EXPECT_EQ(console.str(), "a\n\nb\n");
  EXPECT_EQ(file.str(), "a\r\n\r\nb\r\n");
  EXPECT_EQ(layout::detail::record_ending(layout::LineEnd::lf), "\n");
  EXPECT_EQ(layout::detail::record_ending(layout::LineEnd::crlf), "\r\n");
}

TEST(LayoutSink, SinksTravelTogether) {
  layout::MemorySink console;
  layout::MemorySink log;
  layout::MemorySink report;
  const layout::Sinks sinks{console, log, report};
  layout::write(sinks.log, "('to the log')");
  EXPECT_TRUE(console.records().empty());
  EXPECT_EQ(log.records(), (Records{"to the log"}));
}

}  // namespace
