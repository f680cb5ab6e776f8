// The quality file layout: lines formatted and parsed back field by field;
// broken lines rejected with the column named, and the suspect sighting.
#include <gtest/gtest.h>

#include <tuple>

#include "quality/quality_files.h"

namespace treetri::quality {
namespace {

// A line written, parsed and written again is the same line: every field
// came back (to the printed digits), quoted text and empty fields included.
TEST(QualityFiles, LinesRoundTrip) {
  CaseAssessment q;
  q.caseNumber = 7, q.plot = 2, q.tree = 11, q.species = 3;
  q.legacyStatus = "???? Point 4, \"x\" erroneous?";
  q.legacy.iterations = 20, q.legacy.xIni = 1234567.3, q.legacy.x = 1234567.25;
  q.legacy.sigma0 = 3.888, q.legacy.sightings = 5, q.legacy.observations = 20;
  q.legacy.initial = "INTERSEC";
  q.usedSightings = 4, q.redundancy = 5, q.converged = true, q.x = 1234567.12345, q.y = -0.00001;
  q.globalTest = GlobalTest::Fail, q.ellipseAzimuth = 179.999994, q.maxW = -4.2;
  q.suspectKind = SuspectKind::MapY, q.suggestedTree = 10, q.verdict = Verdict::Outlier;
  q.warnings = "slot 1: tree 2 not on the map; singular";
  const std::string line = FormatQualityLine(q);
  EXPECT_EQ(line,
            "7,2,11,3,\"???? Point 4, \"\"x\"\" erroneous?\",20,1234567.3000,,1234567.2500,,"
            "3.8880,,,,5,20,INTERSEC,4,5,,TRUE,1234567.1235,0.0000,"
            ",fail,,,,,179.99999,,,-4.200,map_y,,,,10,,outlier,"
            "slot 1: tree 2 not on the map; singular\r\n");
  CaseAssessment back;
  ASSERT_TRUE(ParseQualityLine(line, back).ok);
  EXPECT_EQ(FormatQualityLine(back), line);

  const ObservationAssessment o{3, 1, 5, 2, 14, ObservationKind::Azimuth, 359.5, 0.25, 0.75, 0.0785398,
                         0.0042, 1.23456, std::nullopt, 3.0, Control::Uncontrolled, {}, {}};
  const std::string obsLine = FormatObservationLine(o);
  EXPECT_EQ(obsLine,
            "3,1,5,2,14,azimuth,359.50000,0.25000,0.75000,0.07854,0.0042,1.235,,3.00000,"
            "uncontrolled\r\n");
  ObservationAssessment ob;
  ASSERT_TRUE(ParseObservationLine(obsLine, ob).ok);
  EXPECT_EQ(FormatObservationLine(ob), obsLine);
  // (The headers: the golden runs' quality files.)
}

TEST(QualityFiles, BrokenLinesNameTheColumn) {
  const std::pair<const char*, int> cases[] = {
      {"1,1,1,azimuth,1,1,1,1,1,1,1,1,1,1", 0},       // 14 fields
      {"1,1,1,1,1,bearing,1,1,1,1,1,1,1,1,", 6},      // unknown kind
      {"1,x,1,1,1,distance,1,1,1,1,1,1,1,1,", 2},     // not a number
      {"1,1,1,1,1,map_x,1,1,1,1,1,1,1,1,so-so", 15},  // unknown control
      {"1,1,1,1,1,map_y,1,1,1,nan,1,1,1,1,", 10},     // not finite
      {"1,1,1,1,1,map_y,1,1,1,,1,1,1,1,", 10},        // required number missing
  };
  for (const auto& [line, column] : cases) {
    ObservationAssessment o;
    ParseStatus st = ParseObservationLine(line, o);
    EXPECT_FALSE(st.ok) << line;
    EXPECT_EQ(st.column, column) << line << ": " << st.message;
  }
  CaseAssessment q;
  EXPECT_FALSE(ParseQualityLine("1,1,1,1,\"open", q).ok);
  // Booleans are TRUE or FALSE, nothing else.
  q.converged = true;
  std::string line = FormatQualityLine(q);
  line.replace(line.find(",TRUE,"), 6, ",true,");
  const ParseStatus st = ParseQualityLine(line, q);
  EXPECT_FALSE(st.ok);
  EXPECT_EQ(kQualityColumns[static_cast<size_t>(st.column - 1)], std::string("converged"));
}

// A field tree that sights the suspect's tree twice has one suspect
// sighting: the slot whose w is the suspect's; a sighting left out of the
// adjustment has no lines, and another case's lines do not count.
TEST(QualityFiles, SuspectSlotOfATreeSightedTwice) {
  auto line = [](int caseNumber, int slot, ObservationKind kind, double w) {
    ObservationAssessment o;
    o.caseNumber = caseNumber, o.slot = slot, o.sightedTree = 12, o.kind = kind, o.w = w;
    return o;
  };
  const std::vector<ObservationAssessment> lines = {
      line(1, 2, ObservationKind::Distance, 4.1), line(1, 2, ObservationKind::Azimuth, -5.0),
      line(1, 5, ObservationKind::Azimuth, 3.9), line(2, 7, ObservationKind::Azimuth, 3.9)};
  CaseAssessment q;
  q.caseNumber = 1;
  q.suspectTree = 12;
  for (auto [kind, w, slot] : {std::tuple{SuspectKind::Azimuth, 3.9, 5},
                               {SuspectKind::Azimuth, -5.0, 2},
                               {SuspectKind::Distance, 3.9, 2},
                               {SuspectKind::Sighting, 3.9, 0}}) {
    q.suspectKind = kind;
    q.suspectW = w;
    EXPECT_EQ(SuspectSlot(q, lines), slot) << SuspectKindWord(kind) << " " << w;
  }
}

}  // namespace
}  // namespace treetri::quality
