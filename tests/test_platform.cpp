// A rewrite that shrinks a file, and appends to a file that fail part way
// being taken back.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <string>
#include <utility>

#include "platform/files.h"
#include "platform/output_file.h"
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

TEST(Files, AFileKeptOpenTakesAFailedLineBackIsCutOnlyWhenItShrinksAndFollowsNoLink) {
  testing::TempFolder dir;
  std::string error;
  OutputFile appended, rewritten, linked;
  ASSERT_TRUE(appended.Open(dir.Path() + "/mapdata.txt", Links::Refuse, false, error));
  ASSERT_TRUE(appended.Append("line 1\r\n", error));
  rlimit saved{}, lowered{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  lowered = saved;
  lowered.rlim_cur = 20;
  if (setrlimit(RLIMIT_FSIZE, &lowered) != 0) GTEST_SKIP() << "cannot lower the file-size limit";
  const bool failed = !appended.Append(std::string(28, 'x') + "\r\n", error);
  const bool fits = appended.Append("line 2\r\n", error);
  setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_TRUE(failed && fits) << error;
  EXPECT_EQ(dir.Read("mapdata.txt"), "line 1\r\nline 2\r\n");

  ASSERT_TRUE(rewritten.Open(dir.Path() + "/l_txt.txt", Links::Refuse, false, error));
  for (const char* text : {"a longer first text\r\n", "short\r\n", "longer again\r\n", ""}) {
    ASSERT_TRUE(rewritten.Rewrite(text, error)) << error;
    EXPECT_EQ(dir.Read("l_txt.txt"), text);
  }

  dir.Write("theirs.txt", "theirs");
  ASSERT_EQ(::symlink((dir.Path() + "/theirs.txt").c_str(), (dir.Path() + "/A_txt.txt").c_str()), 0);
  ASSERT_TRUE(linked.Open(dir.Path() + "/A_txt.txt", Links::Refuse, false, error));
  EXPECT_FALSE(linked.Rewrite("ours", error));
  EXPECT_EQ(error, "it is a symbolic link, which is not followed");
  EXPECT_EQ(dir.Read("theirs.txt"), "theirs");
}

}  // namespace
}  // namespace treetri
