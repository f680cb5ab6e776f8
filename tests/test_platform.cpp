// A rewrite that shrinks a file, and appends to a file that fail part way
// being taken back.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <string>
#include <utility>

#include "platform/files.h"
#include "tests/support.h"

namespace treetri {
namespace {

// A dump file rewritten with a shorter text holds that text only.
TEST(Files, ARewriteThatShrinksAFile) {
  testing::TempFolder dir;
  std::string error;
  ASSERT_TRUE(RewriteFile(dir.Path() + "/A_txt.txt", "1 1 0.5\r\n1 2 0.25\r\n", error)) << error;
  ASSERT_TRUE(RewriteFile(dir.Path() + "/A_txt.txt", "1 1 2\r\n", error)) << error;
  EXPECT_EQ(dir.Read("A_txt.txt"), "1 1 2\r\n");
}

TEST(Files, AnAppendThatFailsPartWayIsTakenBack) {
  testing::TempFolder dir;
  const std::string path = dir.Path() + "/mapdata.txt";
  std::string error;
  ASSERT_TRUE(AppendToFile(path, "line 1\r\n", error));  // 8 bytes
  rlimit saved{}, lowered{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  lowered = saved;
  lowered.rlim_cur = 20;  // the test main ignores SIGXFSZ
  if (setrlimit(RLIMIT_FSIZE, &lowered) != 0) GTEST_SKIP() << "cannot lower the file-size limit";
  // 8 + 30 bytes cross the limit: 12 land before the write fails.
  const bool failed = !AppendToFile(path, std::string(28, 'x') + "\r\n", error);
  const std::string afterFailure = dir.Read("mapdata.txt");
  const bool fits = AppendToFile(path, "line 2\r\n", error);
  setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_TRUE(failed && fits) << error;
  EXPECT_EQ(afterFailure, "line 1\r\n");
  EXPECT_EQ(dir.Read("mapdata.txt"), "line 1\r\nline 2\r\n");
}

}  // namespace
}  // namespace treetri
