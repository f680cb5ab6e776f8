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

// Both ways of appending: a file opened per append, and one kept open for a
// whole run (the quality files).
TEST(Files, AnAppendThatFailsPartWayIsTakenBack) {
  for (const bool keptOpen : {false, true}) {
    testing::TempFolder dir;
    const std::string path = dir.Path() + "/mapdata.txt";
    std::string error;
    AppendingFile file;
    auto append = [&](const std::string& text) {
      return keptOpen ? file.Append(text, error) : AppendToFile(path, text, error);
    };
    ASSERT_TRUE(keptOpen ? file.Create(path, "line 1\r\n", error) : append("line 1\r\n"));
    rlimit saved{}, lowered{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    lowered = saved;
    lowered.rlim_cur = 20;  // the test main ignores SIGXFSZ
    if (setrlimit(RLIMIT_FSIZE, &lowered) != 0) GTEST_SKIP() << "cannot lower the file-size limit";
    // 8 + 30 bytes cross the limit: 12 land before the write fails.
    const bool failed = !append(std::string(28, 'x') + "\r\n");
    const std::string afterFailure = dir.Read("mapdata.txt");
    const bool fits = append("line 2\r\n");
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_TRUE(failed && fits) << keptOpen << " " << error;
    EXPECT_EQ(afterFailure, "line 1\r\n") << keptOpen;
    EXPECT_EQ(dir.Read("mapdata.txt"), "line 1\r\nline 2\r\n") << keptOpen;
  }
}

}  // namespace
}  // namespace treetri
