#include <gtest/gtest.h>

#include "data/readers.h"
#include "platform/headless_ui.h"
#include "tests/support.h"

namespace treetri {
namespace {

TEST(Smoke, ReadersReadTheBundledExample) {
  Tables t;
  HeadlessUi ui;
  std::string dir = TREETRI_SOURCE_DIR "/examples/";
  ASSERT_TRUE(ReadPhotoMapFile(t, ui, dir + "map.txt"));
  ASSERT_TRUE(ReadSightingFile(t, ui, dir + "sightings.txt"));
  EXPECT_GT(t.PhotoTrees.Size(), 0);
  EXPECT_GT(t.TargetTreeCount, 0);
}

}  // namespace
}  // namespace treetri
