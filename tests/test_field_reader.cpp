// The comma-separated field syntax shared by the input files: separators and
// line ends, quoting, blanks, byte-order mark, 8-bit text, number forms and
// where a bad field is reported.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "data/field_reader.h"

namespace treetri {
namespace {

// Every field of the text as raw text, read until the end of the data.
std::vector<std::string> AllFields(const std::string& content) {
  FieldReader in(content);
  std::vector<std::string> out;
  FieldError err;
  while (!in.AtEnd()) {
    std::string f;
    EXPECT_TRUE(in.ReadText(f, err)) << err.what;
    out.push_back(f);
  }
  return out;
}

using Fields = std::vector<std::string>;

TEST(FieldSyntax, CommasAndEveryKindOfLineEndSeparateFields) {
  EXPECT_EQ(AllFields("1,2\r\n3,4\r\n"), (Fields{"1", "2", "3", "4"}));
  EXPECT_EQ(AllFields("1,2\n3,4\n"), (Fields{"1", "2", "3", "4"}));
  EXPECT_EQ(AllFields("1,2\r3,4\r"), (Fields{"1", "2", "3", "4"}));
  // Mixed line ends and no line end after the last field.
  EXPECT_EQ(AllFields("a\r\nb\nc\rd"), (Fields{"a", "b", "c", "d"}));
  // A record may run over several lines: the reader only counts fields.
  EXPECT_EQ(AllFields("1,2,\n3\n"), (Fields{"1", "2", "", "3"}));
}

TEST(FieldSyntax, BlanksAndTabsAroundAFieldAreIgnoredInsideKept) {
  EXPECT_EQ(AllFields("  12 ,\t3.5\t, a b ,\t \n"), (Fields{"12", "3.5", "a b", ""}));
}

TEST(FieldSyntax, EmptyFieldsAndBlankLines) {
  EXPECT_EQ(AllFields(",,x"), (Fields{"", "", "x"}));
  // A blank line is one empty field.
  EXPECT_EQ(AllFields("a\n\nb\r\n\r\nc"), (Fields{"a", "", "b", "", "c"}));
}

TEST(FieldSyntax, QuotedFieldsLoseTheirQuotesAndMayHoldCommasAndLineEnds) {
  EXPECT_EQ(AllFields("\"a,b\",c"), (Fields{"a,b", "c"}));
  EXPECT_EQ(AllFields("  \"  keep  \"  ,x"), (Fields{"  keep  ", "x"}));
  EXPECT_EQ(AllFields("\"two\r\nlines\",z\n"), (Fields{"two\r\nlines", "z"}));
  EXPECT_EQ(AllFields("\"\",1"), (Fields{"", "1"}));
  // Text between the closing quote and the separator is dropped.
  EXPECT_EQ(AllFields("\"ab\"cd,e"), (Fields{"ab", "e"}));
}

TEST(FieldSyntax, UnclosedQuoteFails) {
  FieldReader in("1,\"open, never closed\n2,3\n");
  std::string text;
  FieldError err;
  in.BeginRecord();
  ASSERT_TRUE(in.ReadText(text, err));
  EXPECT_FALSE(in.ReadText(text, err));
  EXPECT_EQ(err.field, 2);
  EXPECT_EQ(err.what, "has no closing double quote");
  EXPECT_EQ(err.text.substr(0, 6), "\"open,");
  EXPECT_TRUE(in.AtEnd());
}

TEST(FieldSyntax, ByteOrderMarkIsSkippedOnlyAtTheStart) {
  EXPECT_EQ(AllFields("\xEF\xBB\xBF" "7,8"), (Fields{"7", "8"}));
  EXPECT_TRUE(FieldReader("\xEF\xBB\xBF").AtEnd());
  EXPECT_EQ(AllFields("a,\xEF\xBB\xBF" "b"), (Fields{"a", "\xEF\xBB\xBF" "b"}));
}

TEST(FieldSyntax, EightBitBytesPassThroughUnchanged) {
  const std::string latin1 = "Kuusi \xE4\xF6\xC5";
  EXPECT_EQ(AllFields(latin1 + ",\xFF\x80\n"), (Fields{latin1, "\xFF\x80"}));
  EXPECT_EQ(AllFields("\"\xE4,\xF6\""), (Fields{"\xE4,\xF6"}));
}

TEST(FieldSyntax, EndOfDataAndBlankRest) {
  FieldReader in("5 \r\n \t\r\n\n");
  EXPECT_FALSE(in.AtEnd());
  EXPECT_FALSE(in.OnlyBlankLeft());
  std::int32_t v = 0;
  FieldError err;
  ASSERT_TRUE(in.ReadInt32(v, err));
  EXPECT_EQ(v, 5);
  EXPECT_FALSE(in.AtEnd());
  EXPECT_TRUE(in.OnlyBlankLeft());

  FieldReader empty("");
  EXPECT_TRUE(empty.AtEnd());
  EXPECT_TRUE(empty.OnlyBlankLeft());
  std::string text;
  EXPECT_FALSE(empty.ReadText(text, err));
  EXPECT_EQ(err.what, "the file ends inside the record");
}

// Reads one field of the given text as a 32-bit whole number.
bool Int32Of(const std::string& text, std::int32_t& v, FieldError& err) {
  FieldReader in(text);
  in.BeginRecord();
  return in.ReadInt32(v, err);
}

TEST(WholeNumbers, AcceptedFormsAndTheRangeLimits) {
  struct Case {
    const char* text;
    std::int32_t value;
  } cases[] = {{"0", 0},         {"-0", 0},
               {"+5", 5},        {"007", 7},
               {" -12 ", -12},   {"\"42\"", 42},
               {"2147483647", 2147483647},
               {"-2147483648", -2147483647 - 1}};
  for (const Case& c : cases) {
    std::int32_t v = 99;
    FieldError err;
    EXPECT_TRUE(Int32Of(c.text, v, err)) << c.text << ": " << err.what;
    EXPECT_EQ(v, c.value) << c.text;
  }
}

TEST(WholeNumbers, RejectedTextIsReportedAsFound) {
  for (const char* text : {"1.0", "1e3", "12a", "--1", "+", "-", "0x10", "1 2", "abc"}) {
    std::int32_t v = 99;
    FieldError err;
    EXPECT_FALSE(Int32Of(text, v, err)) << text;
    EXPECT_EQ(err.text, text);
    EXPECT_EQ(err.what, "is not a whole number") << text;
    EXPECT_EQ(v, 99) << "a failed read leaves the target alone";
  }
  for (const char* text : {"2147483648", "-2147483649", "99999999999999999999999999"}) {
    std::int32_t v = 99;
    FieldError err;
    EXPECT_FALSE(Int32Of(text, v, err)) << text;
    EXPECT_EQ(err.text, text);
    EXPECT_EQ(err.what, "is out of the range of a whole number (-2147483648 to 2147483647)");
  }
  std::int32_t v = 0;
  FieldError err;
  EXPECT_FALSE(Int32Of(" ,1", v, err));
  EXPECT_EQ(err.what, "is empty where a whole number belongs");
}

TEST(WholeNumbers, SixteenBitFieldLimits) {
  auto read16 = [](const std::string& text, std::int16_t& v, FieldError& err) {
    FieldReader in(text);
    in.BeginRecord();
    return in.ReadInt16(v, err);
  };
  std::int16_t v = 0;
  FieldError err;
  EXPECT_TRUE(read16("32767", v, err));
  EXPECT_EQ(v, 32767);
  EXPECT_TRUE(read16("-32768", v, err));
  EXPECT_EQ(v, -32768);
  for (const char* text : {"32768", "-32769", "70000"}) {
    v = 1;
    EXPECT_FALSE(read16(text, v, err)) << text;
    EXPECT_EQ(err.text, text);
    EXPECT_EQ(err.what, "is out of the range of a 16-bit whole number (-32768 to 32767)");
    EXPECT_EQ(v, 1);
  }
  EXPECT_FALSE(read16("1.5", v, err));
  EXPECT_EQ(err.what, "is not a whole number");
}

TEST(RealNumbers, DecimalAndExponentFormsWithAPoint) {
  struct Case {
    const char* text;
    double value;
  } cases[] = {{"1.5", 1.5},     {"-2", -2.0},       {".5", 0.5},         {"5.", 5.0},
               {"+4.25", 4.25},  {"1e3", 1000.0},    {"1E-3", 0.001},     {"-2.5e+2", -250.0},
               {"0.1", 0.1},     {"3554123.456", 3554123.456},            {"1e-400", 0.0},
               {"1.7976931348623157e308", 1.7976931348623157e308}};
  for (const Case& c : cases) {
    double v = 99;
    FieldError err;
    FieldReader in(c.text);
    in.BeginRecord();
    EXPECT_TRUE(in.ReadReal(v, err)) << c.text << ": " << err.what;
    EXPECT_EQ(v, c.value) << c.text;
  }
  // Too small to hold reads as zero, however the exponent is written.
  const std::string tiny = "0." + std::string(400, '0') + "1e+10";
  double small = 99;
  EXPECT_TRUE(ParseReal(tiny, small));
  EXPECT_EQ(small, 0.0);
  EXPECT_TRUE(ParseReal("-1e-400", small));
  EXPECT_EQ(small, 0.0);
  // A negative zero keeps its sign, as the decimal text says.
  double v = 0;
  EXPECT_TRUE(ParseReal("-0", v));
  EXPECT_TRUE(std::signbit(v));
}

TEST(RealNumbers, NanInfinityOverflowAndMalformedTextAreRejected) {
  const std::string huge = "1" + std::string(400, '0');
  for (const std::string& text :
       {std::string("nan"), std::string("NaN"), std::string("inf"), std::string("-inf"),
        std::string("infinity"), std::string("1e400"), std::string("-1e400"),
        std::string("1e+400"), huge, huge + ".5e-10", std::string("1,5"), std::string("1.2.3"),
        std::string("e5"), std::string("."), std::string("1e"), std::string("1e+"),
        std::string("0x1p3"), std::string("1 2"), std::string("1.5x"), std::string("- 1")}) {
    double v = 99;
    EXPECT_FALSE(ParseReal(text, v)) << text.substr(0, 20);
    EXPECT_EQ(v, 99) << text.substr(0, 20);
  }
  FieldReader in("abc");
  double v;
  FieldError err;
  in.BeginRecord();
  EXPECT_FALSE(in.ReadReal(v, err));
  EXPECT_EQ(err.what, "is not a number");
  FieldReader blank("\t,");
  blank.BeginRecord();
  EXPECT_FALSE(blank.ReadReal(v, err));
  EXPECT_EQ(err.what, "is empty where a number belongs");
}

TEST(FieldErrors, RecordFieldLineAndTextOfTheBadField) {
  // Record 2 starts on line 2 and spreads over lines 2 and 3; its field 4
  // (on line 3) is bad.
  FieldReader in("1,2,3,4\n5,6,\n7,x8,9\n");
  std::int32_t v;
  FieldError err;
  in.BeginRecord();
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(in.ReadInt32(v, err));
  in.BeginRecord();
  ASSERT_TRUE(in.ReadInt32(v, err));
  ASSERT_TRUE(in.ReadInt32(v, err));
  std::string empty;
  ASSERT_TRUE(in.ReadText(empty, err));
  ASSERT_TRUE(in.ReadInt32(v, err));
  EXPECT_EQ(v, 7);
  EXPECT_FALSE(in.ReadInt32(v, err));
  EXPECT_EQ(err.field, 5);
  EXPECT_EQ(err.line, 3);
  EXPECT_EQ(err.text, "x8");
  EXPECT_EQ(DescribeFieldError(2, err), "record 2, field 5 (line 3): \"x8\" is not a whole number");
  // The reader is past the bad field and goes on with the next one.
  ASSERT_TRUE(in.ReadInt32(v, err));
  EXPECT_EQ(v, 9);
  EXPECT_TRUE(in.AtEnd());
}

TEST(FieldErrors, FileEndingInsideARecord) {
  FieldReader in("1,2\n");
  std::int32_t v;
  FieldError err;
  in.BeginRecord();
  ASSERT_TRUE(in.ReadInt32(v, err));
  ASSERT_TRUE(in.ReadInt32(v, err));
  EXPECT_FALSE(in.ReadInt32(v, err));
  EXPECT_EQ(err.field, 3);
  EXPECT_EQ(err.line, 2);
  EXPECT_EQ(DescribeFieldError(1, err), "record 1, field 3 (line 2): the file ends inside the record");
}

TEST(FieldErrors, LinesAreCountedOnceForEachKindOfLineEnd) {
  // Each line end, also one inside a quoted field, counts as one line: the
  // bad field stands on line 6 whatever the line ends are.
  for (const std::string& eol : {std::string("\r\n"), std::string("\n"), std::string("\r")}) {
    const std::string text = "a" + eol + "\"b" + eol + "c\"" + eol + eol + "d" + eol + "bad";
    FieldReader in(text);
    std::string f;
    FieldError err;
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(in.ReadText(f, err));
    double v;
    EXPECT_FALSE(in.ReadReal(v, err));
    EXPECT_EQ(err.text, "bad");
    EXPECT_EQ(err.line, 6) << "line ends of length " << eol.size();
  }
}

TEST(FieldErrors, ShownTextEscapesControlBytesAndIsShortened) {
  FieldError err;
  err.field = 1;
  err.line = 1;
  err.what = "is not a number";
  err.text = "a\tb\x01\xE4";
  EXPECT_EQ(DescribeFieldError(4, err), "record 4, field 1 (line 1): \"a\\x09b\\x01\xE4\" is not a number");
  err.text = std::string(50, 'z');
  EXPECT_EQ(DescribeFieldError(1, err),
            "record 1, field 1 (line 1): \"" + std::string(40, 'z') + "...\" is not a number");
}

}  // namespace
}  // namespace treetri
