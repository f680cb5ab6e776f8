// The comma-separated field syntax shared by the input files: separators,
// line ends, quoting, blanks, byte-order mark, number forms and where a bad
// field is reported.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
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
  for (std::string f; !in.AtEnd(); out.push_back(f)) EXPECT_TRUE(in.ReadText(f, err)) << FieldErrorText(err.kind);
  return out;
}

TEST(FieldSyntax, SeparatorsLineEndsQuotesBlanksAndTheMark) {
  const std::pair<const char*, Fields> cases[] = {
      {"a\r\nb\nc\rd,e\r\n", {"a", "b", "c", "d", "e"}}, {",,x", {"", "", "x"}},
      {"1,2,\n3\n", {"1", "2", "", "3"}},  // a record over two lines: only fields count
      {"  12 ,\t3.5\t, a b ,\t \n", {"12", "3.5", "a b", ""}},
      {"a\n\nb\r\n\r\nc", {"a", "", "b", "", "c"}},  // a blank line is one empty field
      {"\"a,b\",c", {"a,b", "c"}}, {"\"ab\"cd,e", {"ab", "e"}},  // after the closing quote: dropped
      {"  \"  keep  \"  ,x", {"  keep  ", "x"}}, {"\xEF\xBB\xBF" "7,8", {"7", "8"}}, {"\xEF\xBB\xBF", {}},
      {"a,\xEF\xBB\xBF" "b", {"a", "\xEF\xBB\xBF" "b"}},  // the mark only counts at the start
      {"Kuusi \xE4\xF6,\"\xFF,\x80\"", {"Kuusi \xE4\xF6", "\xFF,\x80"}},
  };
  for (const auto& [text, fields] : cases) EXPECT_EQ(AllFields(text), fields) << text;
}

TEST(Numbers, AcceptedFormsRangesAndRejectedText) {
  const std::string whole = "is not a whole number", real = "is not a number",
                    range32 = "is out of the range of a whole number (-2147483648 to 2147483647)",
                    range16 = "is out of the range of a 16-bit whole number (-32768 to 32767)";
  // Kind 'i' is a 32-bit, 'h' a 16-bit whole number, 'r' a real number; an
  // empty error means that the field reads as the value.
  const std::tuple<const char*, char, double, std::string> cases[] = {
      {"+5", 'i', 5, ""}, {" -12 ", 'i', -12, ""}, {"\"42\"", 'i', 42, ""}, {"1e3", 'i', 0, whole},
      {"2147483647", 'i', 2147483647.0, ""}, {"-2147483648", 'i', -2147483648.0, ""},
      {"2147483648", 'i', 0, range32}, {"1.0", 'i', 0, whole}, {"12a", 'i', 0, whole},
      {" ,1", 'i', 0, "is empty where a whole number belongs"}, {"-32768", 'h', -32768, ""},
      {"32768", 'h', 0, range16}, {".5", 'r', 0.5, ""}, {"5.", 'r', 5, ""}, {"1e-400", 'r', 0, ""},
      {"-2.5e+2", 'r', -250, ""}, {"nan", 'r', 0, real}, {"-infinity", 'r', 0, real},
      {"1e400", 'r', 0, real}, {"0x1p3", 'r', 0, real}, {"\t,", 'r', 0, "is empty where a number belongs"},
  };
  for (const auto& [text, kind, value, error] : cases) {
    FieldReader in(text);
    FieldError err;
    std::int32_t i = 99;
    std::int16_t h = 99;
    double r = 99;
    const bool ok = kind == 'i' ? in.ReadInt32(i, err)
                                : kind == 'h' ? in.ReadInt16(h, err) : in.ReadReal(r, err);
    EXPECT_EQ(ok ? std::string() : FieldErrorText(err.kind), error) << text;
    // A failed read leaves the target alone.
    EXPECT_EQ(kind == 'i' ? i : kind == 'h' ? h : r, ok ? value : 99) << text;
  }
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
    EXPECT_TRUE(!lines.ReadInt32(v, err) && err.line == 6) << "line ends of length " << eol.size();
  }
  // The text shown has its control bytes escaped.
  const FieldError odd{5, 6, "a\tb\x01\xE4", FieldErrorKind::NotWhole};
  EXPECT_EQ(DescribeFieldError(4, odd),
            "record 4, field 5 (line 6): \"a\\x09b\\x01\xE4\" is not a whole number");
  // An unclosed quote runs to the end of the data.
  FieldReader open("1,\"open, never closed\n2,3\n");
  ASSERT_TRUE(open.ReadText(text, err));
  EXPECT_FALSE(open.ReadText(text, err) || !open.AtEnd());
  EXPECT_EQ(DescribeFieldError(1, err), "record 1, field 2 (line 1): \"\"open, never "
            "closed\\x0A2,3\\x0A\" has no closing double quote");
}

}  // namespace
}  // namespace treetri
