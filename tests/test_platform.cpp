// An output file kept open for a run: an append that fails part way is taken
// back, a rewrite that shrinks the file cuts it, and a planted link is not
// followed.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <string>
#include <utility>

#include "platform/files.h"
#include "tests/support.h"

namespace treetri {
namespace {

TEST(Files, AFileKeptOpenTakesAFailedLineBackIsCutOnlyWhenItShrinksAndFollowsNoLink) {
  testing::TempFolder dir;
  std::string error;
  OutputFile appended, rewritten, linked;
  ASSERT_TRUE(appended.Create(dir.Path() + "/mapdata.txt", "line 1\r\n", error));
  rlimit saved{}, lowered{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  lowered = saved;
  lowered.rlim_cur = 20;  // the test main ignores SIGXFSZ
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
