// The comma-separated field syntax shared by the input files: separators,
// line ends, quoting, blanks, byte-order mark, number forms and where a bad
// field is reported.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "data/field_reader.h"

namespace treetri {
namespace {

using Fields = std::vector<std::string>;

// Every field of the text as raw text, read until the end of the data.
Fields AllFields(const std::string& content) {
  FieldReader in(content);
  Fields out;
  FieldError err;
  for (std::string f; !in.AtEnd(); out.push_back(f)) EXPECT_TRUE(in.ReadText(f, err)) << err.what;
  return out;
}

TEST(FieldSyntax, SeparatorsLineEndsQuotesBlanksAndTheMark) {
  const struct {
    const char* text;
    Fields fields;
  } cases[] = {
      {"1,2\r\n3,4\r\n", {"1", "2", "3", "4"}}, {"1,2\n3,4\n", {"1", "2", "3", "4"}},
      {"1,2\r3,4\r", {"1", "2", "3", "4"}}, {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
      {"1,2,\n3\n", {"1", "2", "", "3"}},  // a record over two lines: only fields count
      {"  12 ,\t3.5\t, a b ,\t \n", {"12", "3.5", "a b", ""}}, {",,x", {"", "", "x"}},
      {"a\n\nb\r\n\r\nc", {"a", "", "b", "", "c"}},  // a blank line is one empty field
      {"\"a,b\",c", {"a,b", "c"}}, {"  \"  keep  \"  ,x", {"  keep  ", "x"}},
      {"\"two\r\nlines\",z\n", {"two\r\nlines", "z"}},
      {"\"ab\"cd,e", {"ab", "e"}},  // text after the closing quote is dropped
      {"\xEF\xBB\xBF" "7,8", {"7", "8"}}, {"\xEF\xBB\xBF", {}},
      {"a,\xEF\xBB\xBF" "b", {"a", "\xEF\xBB\xBF" "b"}},  // a mark only counts at the start
      {"Kuusi \xE4\xF6,\"\xFF,\x80\"", {"Kuusi \xE4\xF6", "\xFF,\x80"}},
  };
  for (const auto& c : cases) EXPECT_EQ(AllFields(c.text), c.fields) << c.text;
}

TEST(FieldSyntax, TrailingBlankLinesAndAnUnclosedQuote) {
  FieldReader in("5 \r\n \t\r\n\n"), open("1,\"open, never closed\n2,3\n");
  std::int32_t v = 0;
  std::string text;
  FieldError err;
  EXPECT_FALSE(in.OnlyBlankLeft() || in.AtEnd());
  ASSERT_TRUE(in.ReadInt32(v, err) && open.ReadText(text, err));
  EXPECT_TRUE(in.OnlyBlankLeft() && !in.AtEnd());
  EXPECT_FALSE(open.ReadText(text, err));
  EXPECT_EQ(err.what, "has no closing double quote");
  EXPECT_TRUE(err.field == 2 && open.AtEnd()) << err.field;
}

TEST(Numbers, AcceptedFormsRangesAndRejectedText) {
  const std::string whole = "is not a whole number", real = "is not a number",
                    range32 = "is out of the range of a whole number (-2147483648 to 2147483647)",
                    range16 = "is out of the range of a 16-bit whole number (-32768 to 32767)";
  // Kind 'i' is a 32-bit, 'h' a 16-bit whole number, 'r' a real number; an
  // empty error means that the field reads as the value.
  const struct {
    const char* text;
    char kind;
    double value;
    std::string error;
  } cases[] = {
      {"+5", 'i', 5, ""}, {" -12 ", 'i', -12, ""}, {"\"42\"", 'i', 42, ""}, {"1e3", 'i', 0, whole},
      {"2147483647", 'i', 2147483647.0, ""}, {"-2147483648", 'i', -2147483648.0, ""},
      {"2147483648", 'i', 0, range32}, {"-2147483649", 'i', 0, range32}, {"1.0", 'i', 0, whole},
      {"99999999999999999999999999", 'i', 0, range32}, {"12a", 'i', 0, whole}, {"+", 'i', 0, whole},
      {"--1", 'i', 0, whole}, {"0x10", 'i', 0, whole}, {"1 2", 'i', 0, whole},
      {" ,1", 'i', 0, "is empty where a whole number belongs"}, {"32767", 'h', 32767, ""},
      {"-32768", 'h', -32768, ""}, {"32768", 'h', 0, range16}, {"-32769", 'h', 0, range16},
      {"1.5", 'h', 0, whole}, {".5", 'r', 0.5, ""}, {"5.", 'r', 5, ""}, {"-2.5e+2", 'r', -250, ""},
      {"1E-3", 'r', 0.001, ""}, {"3554123.456", 'r', 3554123.456, ""}, {"1e-400", 'r', 0, ""},
      {"1.7976931348623157e308", 'r', 1.7976931348623157e308, ""}, {"nan", 'r', 0, real},
      {"inf", 'r', 0, real}, {"-infinity", 'r', 0, real}, {"1e400", 'r', 0, real},
      {"-1e+400", 'r', 0, real}, {"1.2.3", 'r', 0, real}, {"e5", 'r', 0, real}, {".", 'r', 0, real},
      {"1e+", 'r', 0, real}, {"0x1p3", 'r', 0, real}, {"1.5x", 'r', 0, real},
      {"\t,", 'r', 0, "is empty where a number belongs"},
  };
  for (const auto& c : cases) {
    FieldReader in(c.text);
    FieldError err;
    std::int32_t i = 99;
    std::int16_t h = 99;
    double r = 99;
    const bool ok = c.kind == 'i' ? in.ReadInt32(i, err)
                                  : c.kind == 'h' ? in.ReadInt16(h, err) : in.ReadReal(r, err);
    EXPECT_EQ(ok ? std::string() : err.what, c.error) << c.text;
    // A failed read leaves the target alone.
    EXPECT_EQ(c.kind == 'i' ? i : c.kind == 'h' ? h : r, ok ? c.value : 99) << c.text;
    EXPECT_TRUE(ok || c.text[0] == ' ' || c.text[0] == '\t' || err.text == c.text) << c.text;
  }
  // Too many digits either way; a negative zero keeps its sign.
  double v = 99;
  EXPECT_FALSE(ParseReal("1" + std::string(400, '0'), v));
  EXPECT_TRUE(ParseReal("0." + std::string(400, '0') + "1e+10", v) && v == 0.0);
  EXPECT_TRUE(ParseReal("-0", v) && std::signbit(v));
}

TEST(FieldErrors, RecordFieldLineAndTextOfTheBadField) {
  // Record 2 spreads over lines 2 and 3; its field 5 (on line 3) is bad.
  FieldReader in("1,2,3,4\n5,6,\n7,x8,9\n");
  std::int32_t v;
  std::string text;
  FieldError err;
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(in.ReadInt32(v, err));
  in.BeginRecord();
  ASSERT_TRUE(in.ReadInt32(v, err) && in.ReadInt32(v, err) && in.ReadText(text, err) &&
              in.ReadInt32(v, err));
  EXPECT_FALSE(in.ReadInt32(v, err));
  EXPECT_EQ(DescribeFieldError(2, err), "record 2, field 5 (line 3): \"x8\" is not a whole number");
  // The reader is past the bad field and goes on with the next one.
  EXPECT_TRUE(in.ReadInt32(v, err) && v == 9);
  EXPECT_FALSE(in.ReadInt32(v, err));
  EXPECT_EQ(DescribeFieldError(2, err), "record 2, field 7 (line 4): the file ends inside the record");
  // Each kind of line end, also one inside quotes, counts as one line.
  for (const std::string eol : {"\r\n", "\n", "\r"}) {
    FieldReader lines("a" + eol + "\"b" + eol + "c\"" + eol + eol + "d" + eol + "bad");
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(lines.ReadText(text, err));
    EXPECT_FALSE(lines.ReadInt32(v, err));
    EXPECT_EQ(err.line, 6) << "line ends of length " << eol.size();
  }
  // The text shown has its control bytes escaped.
  err.text = "a\tb\x01\xE4";
  EXPECT_EQ(DescribeFieldError(4, err),
            "record 4, field 5 (line 6): \"a\\x09b\\x01\xE4\" is not a whole number");
}

}  // namespace
}  // namespace treetri
