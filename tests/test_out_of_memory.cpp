// Memory that runs out at any allocation of a reader or of a run: the
// failure comes back as the function's status (a message naming the file),
// never as an exception. The test binary's operator new fails once, at the
// Nth allocation of this thread after it is armed, for every N in turn.
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/corrections.h"
#include "core/quality_observer.h"
#include "core/run_record.h"
#include "core/run.h"
#include "data/readers.h"
#include "platform/feedback.h"
#include "platform/headless_ui.h"
#include "quality/quality_files.h"
#include "tests/case_builder.h"
#include "tests/support.h"

namespace {
thread_local long allocationsBeforeFailure = -1;  // -1: never fails
}  // namespace

// Every replaceable non-aligned form is replaced, so that memory from one of
// them is never given back through the sanitizer's own (a mismatch it
// reports); the nothrow forms count as allocations too and return null.
namespace {
bool FailsNow() { return allocationsBeforeFailure >= 0 && allocationsBeforeFailure-- == 0; }
void* Allocate(std::size_t size) { return std::malloc(size ? size : 1); }
}  // namespace

void* operator new(std::size_t size) {
  if (FailsNow()) throw std::bad_alloc();
  if (void* p = Allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return FailsNow() ? nullptr : Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return ::operator new(size, tag);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace treetri {
namespace {

using testing::TempFolder;

// Calls `call` with its Nth allocation failing, for N = 0, 1, ... until a
// call gets through without the failure (that call must succeed), and after
// each call `check(stopped)` outside the armed stretch, `stopped` telling
// that the call failed at the failure. Returns the count of allocations of a
// whole call.
template <class Call, class Check>
long EveryAllocationFails(Call call, Check check) {
  for (long n = 0;; ++n) {
    bool ok = false, escaped = false;
    allocationsBeforeFailure = n;
    try {
      ok = call();
    } catch (const std::bad_alloc&) {
      escaped = true;
    }
    const bool failedNow = allocationsBeforeFailure == -1;
    allocationsBeforeFailure = -1;
    if (escaped) {
      ADD_FAILURE() << "bad_alloc left the function at allocation " << n;
      return n;
    }
    check(failedNow && !ok);
    if (!failedNow) {
      EXPECT_TRUE(ok) << "the call failed with no allocation failing";
      return n;
    }
  }
}

// The input files of a run of `cases` field trees, each sighting map trees 1
// to 4 of six, and `t` having read them.
void ReadRunFiles(const TempFolder& dir, int cases, Tables& t, HeadlessUi& ui) {
  testing::Parameters par;
  par.resultsFile = dir.WorkFolder() + "results.txt";
  dir.Write(kParameterFileName, testing::ParameterFile(par));
  std::string map, sightings;
  for (int k = 1; k <= 6; ++k) map += testing::MapRecord(1, k, 1, 3.0 * (k % 3), 3.0 * (k / 3));
  for (int i = 0; i < cases; ++i) {
    std::vector<testing::Sighting> slots;
    for (int k = 1; k <= 4; ++k)
      slots.push_back(testing::Sight(k, 1.0 + i * 0.5, 1.5, 3.0 * (k % 3), 3.0 * (k / 3)));
    sightings += testing::SightingRecord(1, 100 + i, 1, 4, slots);
  }
  t.WorkFolder = dir.WorkFolder();
  ASSERT_TRUE(ReadPhotoMapFile(t, ui, dir.Write("map.txt", map)));
  ASSERT_TRUE(ReadSightingFile(t, ui, dir.Write("sightings.txt", sightings)));
}

TEST(OutOfMemory, ReadersReturnTheFailureNamingTheFile) {
  TempFolder dir;
  const std::string quality = dir.WorkFolder() + quality::kQualityFileName;
  const std::string observations = dir.WorkFolder() + quality::kObservationsFileName;
  // A run's quality files, written by a run of three cases.
  Tables t;
  HeadlessUi ui;
  ReadRunFiles(dir, 3, t, ui);
  {
    Feedback feedback;
    QualityObserver qualityLayer(t, feedback);
    ASSERT_TRUE(Simulate(t, ui, {&qualityLayer}, &feedback).completed);
  }
  quality::QualityRunFiles run;
  quality::FileReadStatus st;
  const long points = EveryAllocationFails(
      [&] { return (st = quality::ReadQualityRun(quality, observations, false, run)).ok; },
      [&](bool stopped) {
        EXPECT_TRUE(!stopped || ((st.path == quality || st.path == observations) &&
                                 st.message == "out of memory"))
            << st.path << ": " << st.message;
      });
  EXPECT_GT(points, 10);

  const std::string corrections = dir.Write(kCorrectionsFileName, CorrectionsHeaderLine());
  const std::string named = "The corrections file \"" + corrections + "\" cannot be read";
  std::vector<Correction> lines;
  std::string error;
  EveryAllocationFails([&] { return ReadCorrectionsFile(corrections, lines, error); },
                       [&](bool stopped) {
                         EXPECT_TRUE(!stopped || (error.rfind(named, 0) == 0 &&
                                                  error.find("out of memory") != std::string::npos))
                             << error;
                       });

  // (The run record is left out: nlohmann/json allocates while it destroys
  // a value, so memory running out there ends the program.)

  // The map reader says so through its message box, and the same tables
  // read the map and the sightings after each failure.
  const std::string mapFile = dir.WorkFolder() + "map.txt";
  int doesNotFit = 0;
  EveryAllocationFails([&] { return ReadPhotoMapFile(t, ui, mapFile); }, [&](bool stopped) {
    if (!stopped) return;
    EXPECT_NE(ui.messages.back().find(mapFile), std::string::npos);
    doesNotFit +=
        ui.messages.back().rfind(
            "The photogrammetric map file \"" + mapFile + "\" does not fit in memory.", 0) == 0;
  });
  EXPECT_GT(doesNotFit, 0);
  ASSERT_TRUE(ReadSightingFile(t, ui, dir.WorkFolder() + "sightings.txt"));
  EXPECT_EQ(t.TargetTrees[3].Sighted[4].X, 3.0);
}

// A whole run with the quality layer, its memory running out at each of its
// allocations in turn: the run stops with a message (or, where a reader
// catches it, goes on without what it could not read), the results file
// holds whole lines, every observer told of the start is told of the end
// (also the one after an observer that failed), and the next run in the
// folder gets through, so no lock is left behind.
TEST(OutOfMemory, ARunStopsWithAMessageAtAnyAllocation) {
  TempFolder dir;
  Tables t;
  HeadlessUi ui;
  ReadRunFiles(dir, 1, t, ui);
  // The run record is left out: nlohmann/json allocates while it destroys a
  // value (see the test above), so a record sink that writes nothing stands
  // in for it.
  struct NoRecord : RunRecordSink {
    using RunRecordSink::RunRecordSink;
    bool OnRunStart(const RunSettings&, std::string&) override { return true; }
    void OnRunEnd(bool) override {}
  } noRecord(t, t, RunRecordInfo{});
  Feedback feedback;
  QualityObserver quality(t, feedback);
  struct Ends : RunHooks {  // counts only: allocates nothing
    int starts = 0, ends = 0;
    bool OnRunStart(const RunSettings&, std::string&) override { return ++starts; }
    void OnRunEnd(bool) override { ++ends; }
  } last;
  const std::vector<RunHooks*> hooks{&noRecord, &quality, &last};
  RunOutcome outcome;
  std::vector<FeedbackMessage> said;
  long stopped = 0, afterCase = 0;
  const long points = EveryAllocationFails(
      [&] {
        outcome = Simulate(t, ui, hooks, &feedback);
        return outcome.completed;
      },
      [&](bool failed) {
        said = feedback.TakeMessages();
        const std::string results = dir.Read("results.txt");
        EXPECT_TRUE(results.empty() || results.substr(results.size() - 2) == "\r\n") << results;
        EXPECT_GE(last.ends, last.starts);
        last.starts = last.ends = 0;
        if (!failed) return;
        ++stopped;
        ASSERT_FALSE(said.empty());
        afterCase += said.back().text == "The memory ran out: the run is stopped after case 1.";
        EXPECT_FALSE(t.RunInProgress);
      });
  EXPECT_GT(points, 100);
  EXPECT_GT(stopped, 0);
  EXPECT_GT(afterCase, 0);
}

}  // namespace
}  // namespace treetri
