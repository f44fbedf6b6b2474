// Layout-list parsing: the layouts the program uses, the structure the parser
// builds, and the rejection of everything else with a position.

#include "layout/layout.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "layout/walk_internal.h"

namespace {

using layout::Item;
using Kind = layout::Item::Kind;

// Every layout the program writes in its code or finds in a valid data file.
// Each element goes through the consteval constructor, so this array is
// itself a compile-time test of the parser.
// NOLINTBEGIN(bugprone-suspicious-missing-comma): long layouts are split literals
constexpr layout::LayoutText PROGRAM_LAYOUTS[] = {
    "(/)",
    "(A40)",
    "(I4)",
    "(10I4)",
    "(2A)",
    "(/,/,I5)",
    "(A30)",
    "(I5)",
    "(I5,/)",
    "(20(4X,A1,1X))",
    "(20(3X,A2,1X))",
    "(20(2X,A3,1X))",
    "(20(1X,A4,1X))",
    "(20(A5,1X))",
    "(/,A100)",
    "(2(/))",
    "('npermu=',5X,I4)",
    "(A10,1X,F5.3,2X,F5.3,4X,F5.3,4X,F8.2,2X,F8.3,2X,F8.3,2X,I4)",
    "(/,/,/,' NON-FATAL PROBLEM',5X,'MORE THAN ',I2,' SAMPLE POPLUATIONS FOUND ON INPUT',/,/,"
    "'  Will NOT Process any samples after ',A20,/,/)",
    "(/,/,' FATAL ERROR:',/,' Encountered allele not in the allele list.',/,"
    "' Processing genetic system number: ',I3,' in the phenotype set below:',/,"
    "' Phenotypes ',10(2A5,'..'))",
    "(' Dataset ',I4,' Tries =',I4)",
    "(/,' END OF FILE ENCOUNTERED UNEXPECTEDLY')",
    "('EM--not increased in this iteration')",
    "('WARNING***:  EM not convergence after',I4,' iteration')",
    "(/,/,' ABORTING JOB',/,/,' No phenotype data records on input file.',/)",
    "(A20,8A2)",
    "(A20,4(1X,2A2))",
    "(A20,2A2/20X,4A2)",
};
// NOLINTEND(bugprone-suspicious-missing-comma)

static_assert(layout::layout_is_valid("(I5/)"));
static_assert(layout::layout_is_valid("(/A100)"));
static_assert(!layout::layout_is_valid("(T5,I4)"));
static_assert(!layout::layout_is_valid("I5"));

layout::LayoutList parse_ok(std::string_view text) {
  layout::ParseResult result = layout::parse_layout(text);
  EXPECT_TRUE(result.list.has_value())
      << text << ": " << result.error.position << ": " << result.error.what;
  return result.list.value_or(layout::LayoutList{});
}

TEST(LayoutParse, AcceptsEveryProgramLayout) {
  for (const layout::LayoutText& text : PROGRAM_LAYOUTS) {
    const layout::LayoutList list = parse_ok(text.text());
    EXPECT_EQ(list.source, text.text());
    EXPECT_FALSE(list.items.empty()) << text.text();
  }
}

TEST(LayoutParse, RepeatCountsOnItems) {
  const layout::LayoutList list = parse_ok("(10I4,2A5,2A)");
  ASSERT_EQ(list.items.size(), 3u);
  EXPECT_EQ(list.items[0].kind, Kind::integer);
  EXPECT_EQ(list.items[0].repeat, 10);
  EXPECT_EQ(list.items[0].width, 4);
  EXPECT_EQ(list.items[1].kind, Kind::alpha);
  EXPECT_EQ(list.items[1].repeat, 2);
  EXPECT_EQ(list.items[1].width, 5);
  EXPECT_EQ(list.items[2].kind, Kind::alpha);
  EXPECT_EQ(list.items[2].repeat, 2);
  EXPECT_EQ(list.items[2].width, 0);
}

TEST(LayoutParse, NestedGroupsWithCounts) {
  const layout::LayoutList list = parse_ok("(20(4X,A1,2(1X,I2)))");
  ASSERT_EQ(list.items.size(), 1u);
  const Item& group = list.items[0];
  EXPECT_EQ(group.kind, Kind::group);
  EXPECT_EQ(group.repeat, 20);
  ASSERT_EQ(group.items.size(), 3u);
  EXPECT_EQ(group.items[0].kind, Kind::skip);
  EXPECT_EQ(group.items[0].width, 4);
  EXPECT_EQ(group.items[1].kind, Kind::alpha);
  EXPECT_EQ(group.items[2].kind, Kind::group);
  EXPECT_EQ(group.items[2].repeat, 2);
  ASSERT_EQ(group.items[2].items.size(), 2u);
  EXPECT_EQ(group.items[2].items[1].kind, Kind::integer);
}

TEST(LayoutParse, TextUndoublesApostrophesAndKeepsBlanks) {
  const layout::LayoutList list = parse_ok("(' it''s  ','''','')");
  ASSERT_EQ(list.items.size(), 3u);
  EXPECT_EQ(list.items[0].text, " it's  ");
  EXPECT_EQ(list.items[1].text, "'");
  EXPECT_EQ(list.items[2].text, "");
}

TEST(LayoutParse, BlanksIgnoredAndLettersCaseInsensitive) {
  const layout::LayoutList list = parse_ok("  ( 1 0 i 4 , a 5 , f8 . 3 , 2 x , a )  ");
  ASSERT_EQ(list.items.size(), 5u);
  EXPECT_EQ(list.items[0].kind, Kind::integer);
  EXPECT_EQ(list.items[0].repeat, 10);
  EXPECT_EQ(list.items[0].width, 4);
  EXPECT_EQ(list.items[1].kind, Kind::alpha);
  EXPECT_EQ(list.items[1].width, 5);
  EXPECT_EQ(list.items[2].kind, Kind::fixed);
  EXPECT_EQ(list.items[2].width, 8);
  EXPECT_EQ(list.items[2].decimals, 3);
  EXPECT_EQ(list.items[3].kind, Kind::skip);
  EXPECT_EQ(list.items[3].width, 2);
  EXPECT_EQ(list.items[4].width, 0);
}

// The kinds of the top-level items: '/' slash, 'G' group, 'd' anything else.
std::string shape_of(std::string_view text) {
  std::string shape;
  for (const Item& item : parse_ok(text).items) {
    shape += item.kind == Kind::slash ? '/' : item.kind == Kind::group ? 'G' : 'd';
  }
  return shape;
}

TEST(LayoutParse, CommaNextToSlashMayBeLeftOut) {
  EXPECT_EQ(shape_of("(I5/)"), "d/");
  EXPECT_EQ(shape_of("(/A100)"), "/d");
  EXPECT_EQ(shape_of("(2(/))"), "G");
  EXPECT_EQ(shape_of("(/,/,I5)"), "//d");
  EXPECT_EQ(shape_of("(//I5)"), "//d");
  EXPECT_EQ(shape_of("(A20,2A2/20X,4A2)"), "dd/dd");
  EXPECT_EQ(shape_of("(I2,/,/I3/)"), "d//d/");
}

TEST(LayoutParse, EmptyListIsAllowed) { EXPECT_TRUE(parse_ok("()").items.empty()); }

struct Rejected {
  std::string_view text;
  int position = 0;  // 1-based
  std::string_view what;
};

void expect_rejected(const Rejected& c) {
  const layout::ParseResult result = layout::parse_layout(c.text);
  EXPECT_FALSE(result.list.has_value()) << c.text;
  EXPECT_EQ(result.error.position, c.position) << c.text << ": " << result.error.what;
  EXPECT_NE(result.error.what.find(c.what), std::string::npos)
      << c.text << ": " << result.error.what;
  EXPECT_FALSE(layout::layout_is_valid(c.text)) << c.text;
}

TEST(LayoutParse, RejectsWithPositionAndReason) {
  const Rejected cases[] = {
      {"(T5,I4)", 2, "'T' is not a supported item"},
      {"(I4,TL5)", 5, "'T' is not a supported item"},
      {"(E10.3)", 2, "'E' is not a supported item"},
      {"(G10.3)", 2, "'G' is not a supported item"},
      {"(L2)", 2, "'L' is not a supported item"},
      {"(1P,F5.3)", 3, "'P' is not a supported item"},
      {"(5HHELLO)", 3, "'H' is not a supported item"},
      {"(D10.3)", 2, "'D' is not a supported item"},
      {"(Z4)", 2, "'Z' is not a supported item"},
      {"(I5:I3)", 4, "unexpected ':'"},
      {"(I5.2)", 4, "unexpected '.'"},
      {"(\"ab\")", 2, "unexpected '\"'"},
      {"(I5,\tI3)", 5, "unexpected '\\x09'"},
      {"(I0)", 3, "a field width must be at least 1"},
      {"(A0)", 3, "a field width must be at least 1"},
      {"(F0.3)", 3, "a field width must be at least 1"},
      {"(0X)", 2, "a count must be at least 1"},
      {"(0I5)", 2, "a count must be at least 1"},
      {"(0(I5))", 2, "a count must be at least 1"},
      {"(I40000)", 3, "a field width must be at most 32767"},
      {"(99999(I1))", 2, "a count must be at most 32767"},
      {"(I)", 3, "I needs a field width"},
      {"(X)", 2, "X needs the number of columns"},
      {"(F5)", 4, "F needs '.'"},
      {"(F5.)", 5, "F needs the number of decimals"},
      {"(2(I5)", 1, "this '(' has no matching ')'"},
      {"(I5", 1, "this '(' has no matching ')'"},
      {"(I5))", 5, "unexpected ')' after the closing ')'"},
      {"(I5) x", 6, "unexpected 'x' after the closing ')'"},
      {"I5", 1, "a layout list must start with '('"},
      {"", 1, "a layout list must start with '('"},
      {"(I5,)", 5, "an item is missing after ','"},
      {"(/,)", 4, "an item is missing after ','"},
      {"(,I5)", 2, "an item is missing before ','"},
      {"(I5,,I3)", 5, "an item is missing before ','"},
      {"(I5 I3)", 5, "',' is missing between two items"},
      {"('abc)", 2, "this text has no closing apostrophe"},
      {"(2'ab')", 2, "a text item cannot have a repeat count"},
      {"(2/)", 2, "'/' cannot have a repeat count"},
      {"(2())", 4, "a group must hold at least one item"},
      {"(3)", 2, "the count is not followed by an item"},
      {"(1(2(3(4(5(6(7(8(9(10(11(I1))))))))))))", 25, "groups are nested too deeply"},
  };
  for (const Rejected& c : cases) {
    expect_rejected(c);
  }
}

TEST(LayoutParse, TenNestedGroupsAreAccepted) { parse_ok("(1(2(3(4(5(6(7(8(9(10(I1)))))))))))"); }

TEST(LayoutParse, ParsedGivesTheSameListAsRunTimeParsing) {
  const layout::LayoutList list = layout::parsed("(A20,4(1X,2A2))");
  EXPECT_EQ(list.source, "(A20,4(1X,2A2))");
  ASSERT_EQ(list.items.size(), 2u);
  EXPECT_EQ(list.items[1].items.size(), 2u);
}

TEST(LayoutWalk, ReversionStartsAtTheLastTopLevelGroup) {
  EXPECT_EQ(layout::detail::reversion_start(parse_ok("(10I4)").items), 0u);
  EXPECT_EQ(layout::detail::reversion_start(parse_ok("(A20,4(1X,2A2))").items), 1u);
  EXPECT_EQ(layout::detail::reversion_start(parse_ok("(I2,2(I1,3(I3)),I4,I5)").items), 1u);
  EXPECT_EQ(layout::detail::reversion_start(parse_ok("(2(I1),I2,3(1X),I4)").items), 2u);
}

TEST(LayoutWalk, GroupsOfBlanksCollapseAndSaturate) {
  const layout::LayoutList list = parse_ok("(3(2X,2(1X)),32767(32767(32767(32767X))))");
  ASSERT_TRUE(layout::detail::blanks_only(list.items[0]));
  EXPECT_EQ(layout::detail::blank_columns(list.items[0]), 12);
  EXPECT_EQ(layout::detail::blank_columns(list.items[1]), layout::detail::MAX_COLUMN);
  EXPECT_FALSE(layout::detail::blanks_only(parse_ok("(2(1X,/))").items[0]));
}

TEST(LayoutWalk, ItemNames) {
  const layout::LayoutList list = parse_ok("(I5,A,A20,F8.3)");
  EXPECT_EQ(layout::detail::item_name(list.items[0]), "I5");
  EXPECT_EQ(layout::detail::item_name(list.items[1]), "A");
  EXPECT_EQ(layout::detail::item_name(list.items[2]), "A20");
  EXPECT_EQ(layout::detail::item_name(list.items[3]), "F8.3");
}

}  // namespace
