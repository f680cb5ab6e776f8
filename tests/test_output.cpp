// Number-to-text rules, the status of a case and the Tau field at its
// bounds; the rest of the lines is checked byte for byte by the golden runs.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <tuple>

#include <gtest/gtest.h>

#include "output/number_text.h"
#include "output/results_writer.h"
#include "platform/text.h"
#include "tests/case_builder.h"
#include "tests/support.h"

namespace treetri {
namespace {

TEST(NumberText, FixedFreeAndPrintedAndTheTextHelpers) {
  using Row = std::tuple<double, int, const char*>;  // value, decimals, text
  const double inf = std::numeric_limits<double>::infinity();
  for (auto [v, d, text] :
       {Row{1234.5, 2, "1234.50"}, {0.004, 2, "0.00"}, {0.005, 2, "0.01"}, {-0.005, 2, "-0.01"},
        {2.675, 2, "2.68"}, {9.995, 2, "10.00"}, {2.5, 0, "3"}, {-2.5, 0, "-3"}, {0.49, 0, "0"},
        {0, 5, "0.00000"}, {-3.14159265358979, 4, "-3.1416"}, {0.0996, 2, "0.10"},
        {3401234.125, 2, "3401234.13"}, {1e20, 2, "100000000000000000000.00"}, {-0.0, 2, "0.00"},
        {-0.001, 2, "-0.00"}, {std::nan(""), 2, "-999"}, {-inf, 0, "-999"}})
    EXPECT_EQ(FixedText(v, d), text) << v;
  EXPECT_EQ(FreeText(0.1), "0.1");
  EXPECT_EQ(FreeText(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(FreeText(1e-20), "1e-20");
  // Both round from 15 significant digits: checked against the C library's
  // printf (the C locale) over many magnitudes and at the edges, where the
  // 15th digit is a tie (ties to even), carries into a new digit or sits at
  // a power of ten; the fixed decimals then round that text half away from
  // zero, by hand here.
  std::mt19937_64 random(17);
  std::vector<double> values = {1e14 + 0.5, 1e14 + 1.5, 1e15 - 0.5, 999999999999999.4, 1e-5,
                                9.99999999999999e-6, 1e-4, 9.9999999999999995e-5, 0.5, 9.995,
                                0.30000000000000004, 6900000.005, 1e15, 1e-300, 0x1p-1074};
  for (int i = 0; i < 20000; ++i)
    values.push_back(std::ldexp(static_cast<double>(random() >> 11),
                                static_cast<int>(random() % 120) - 100));
  for (double v : values) {
    for (double w : {v, -v, std::nextafter(v, 0.0)}) {
      char text[400];
      std::snprintf(text, sizeof text, "%.15g", w);
      EXPECT_EQ(FreeText(w), text);
      std::snprintf(text, sizeof text, "%.14e", std::fabs(w));  // d.dddddddddddddde+XX
      const std::string digits = std::string(1, text[0]) + std::string(text + 2, 14);
      const int exponent = std::atoi(text + 17);
      for (int d = 0; d <= 5; ++d) {
        // The digits down to 10^-d, with zeros before and after the 15.
        std::string kept;
        for (int place = std::max(exponent, 0); place >= -d; --place) {
          const int k = exponent - place;
          kept += k >= 0 && k < 15 ? digits[static_cast<size_t>(k)] : '0';
        }
        const int next = exponent + d + 1;  // index of the first digit dropped
        if (next >= 0 && next < 15 && digits[static_cast<size_t>(next)] >= '5') {
          size_t i = kept.size();
          while (i > 0 && kept[i - 1] == '9') kept[--i] = '0';
          if (i == 0) kept.insert(kept.begin(), '1');
          else ++kept[i - 1];
        }
        const size_t whole = kept.size() - static_cast<size_t>(d);
        const std::string expected = std::string(w < 0 ? "-" : "") + kept.substr(0, whole) +
                                     (d > 0 ? "." + kept.substr(whole) : "");
        ASSERT_EQ(FixedText(w, d), expected) << text << " " << d;
      }
    }
  }
  EXPECT_EQ(PrintedNumberText(12), " 12 ");
  EXPECT_EQ(PrintedNumberText(-4), "-4 ");
  // The other files' fixed decimals round the exact binary value (2.675 is
  // 2.67499999...), write no "-0" and no garbage for the largest values.
  std::string other;
  for (auto [v, d, text] :
       {Row{2.675, 2, "2.67"}, {0.125, 2, "0.12"}, {-0.001, 2, "0.00"}, {-0.0, 0, "0"},
        {0x1p300, 1, "2037035976334486086268445688409378161051468393665936250636140449354"
                     "381299763336706183397376.0"}}) {
    other.clear();
    EXPECT_TRUE(AppendFixedDecimals(other, v, d));
    EXPECT_EQ(other, text) << v;
  }
  EXPECT_FALSE(AppendFixedDecimals(other, inf, 2));
  // Lines: CR LF or LF, nothing after a final line end, a cut last line
  // told apart, a walk stopped by its callback; fields split without quoting.
  std::vector<std::string> seen;
  EXPECT_FALSE(ForEachLine("a\r\nb,\"c,\"\n\nlast\nnot reached", [&](std::string_view l, int n, bool ended) {
    seen.push_back(std::to_string(n) + (ended ? "" : "cut") + ":" + std::string(l));
    return n < 4;
  }));
  EXPECT_EQ(seen, (std::vector<std::string>{"1:a", "2:b,\"c,\"", "3:", "4:last"}));
  seen.clear();
  ForEachLine("x\ny", [&](std::string_view l, int, bool ended) { seen.push_back(ended ? "" : std::string(l)); });
  EXPECT_EQ(seen, (std::vector<std::string>{"", "y"}));
  EXPECT_EQ(SplitAt("b,\"c,\",", ","), (std::vector<std::string>{"b", "\"c", "\"", ""}));
  EXPECT_EQ(SplitAt("1, 2, 3", ", "), (std::vector<std::string>{"1", "2", "3"}));
}

// An adjusted case with two slots: sighted trees 3 (azimuth test 1.5,
// distance test 2.25) and 4 (azimuth test 3.125).
LegacyCaseResult WrittenCase() {
  LegacyCaseResult r;
  r.caseNumber = r.iterations = 1;
  r.plot = 7, r.tree = 12, r.NPA = 2, r.NumOfObs = 7;
  r.sightings.resize(2);
  r.sightings[0] = {3, 1, 1, 2, 1, 2, true, true, 5.5, 10, 1.396, 0.0123, 0.00004, 2, 1, true, true,
                2.25, 1.5};
  r.sightings[1] = {4, 1, -3, 1, -3, 1, false, true, 0, 200, -1.9, 0, -0.02, 0, 3, false, true, 0,
                3.125};
  return r;
}

TEST(ResultsLines, TauAtItsBounds) {
  LegacyCaseResult r = WrittenCase();
  Tables t;
  testing::SetParameters(t, testing::Parameters{});
  for (auto [obs, tau] : {std::pair{3, "55.0000"}, {31, "2.0869"}, {32, "-999"}, {2, "-999"}}) {
    r.NumOfObs = obs;
    std::string line;
    AppendResultsLine(line, r, t);
    EXPECT_EQ(testing::SplitFields(line)[kFieldTau], tau);
  }
}

TEST(CaseStatus, ThresholdsAndSuspect) {
  LegacyCaseResult r = WrittenCase();
  auto status = [&](double sx, double sy) {
    r.SigmaX = sx;
    r.SigmaY = sy;
    return CaseStatus(r);
  };
  EXPECT_EQ(status(0.5, 0.5), " OK ");
  EXPECT_EQ(status(0.6, 0.1), " ? ");
  EXPECT_EQ(status(0.75, 0.1), " ? ");
  // Slot 2's azimuth value (3.125) is the largest; distance values never count.
  EXPECT_EQ(status(0.1, 0.8), "???? Point 4 erroneous?");
  r.sightings[1].Baarda_Azim = 1.5;  // a tie keeps the earlier slot
  EXPECT_EQ(status(0.1, 0.8), "???? Point 3 erroneous?");
  r.sightings[0].Baarda_Azim = r.sightings[1].Baarda_Azim = 0;
  EXPECT_EQ(status(0.1, 0.8), "???? Point ? erroneous?");
}

}  // namespace
}  // namespace treetri
