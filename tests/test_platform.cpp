// An output file kept open for a run: an append that fails part way is taken
// back, a rewrite that shrinks the file cuts it, and a planted link is not
// followed. The feedback shared by a worker and its consumer.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/feedback.h"
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

// The feedback between a worker and its consumer: a cancel made on another
// thread reaches the worker's loop, the messages come out in the worker's
// order with their case, a feedback that keeps nothing still tells its
// listener, and taking the messages empties the store.
TEST(Feedback, CancelAcrossThreadsMessagesAndProgress) {
  struct Seen : Feedback::Listener {
    std::vector<int> cases;
    long long lastDone = -1;
    void OnMessage(const FeedbackMessage& m) override { cases.push_back(m.caseNumber); }
    void OnProgress(long long done, long long) override { lastDone = done; }
  } seen;
  Feedback feedback(&seen);
  EXPECT_EQ(feedback.Percent(), 0.0);
  std::thread worker([&] {
    for (int i = 1; !feedback.IsCanceled(); ++i) {
      feedback.PushMessage(i, "case " + std::to_string(i));
      feedback.SetProgress(i, 1000000);
      if (i == 3) {
        // Wait here until the consumer has cancelled.
        while (!feedback.IsCanceled()) std::this_thread::yield();
      }
    }
  });
  while (feedback.Done() < 3) std::this_thread::yield();
  feedback.Cancel();
  worker.join();
  EXPECT_EQ(seen.cases, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(seen.lastDone, 3);
  EXPECT_DOUBLE_EQ(feedback.Percent(), 3e-4);
  const std::vector<FeedbackMessage> taken = feedback.TakeMessages();
  ASSERT_EQ(taken.size(), 3u);
  EXPECT_EQ(taken[2].caseNumber, 3);
  EXPECT_EQ(taken[2].text, "case 3");
  EXPECT_TRUE(feedback.Messages().empty());

  Seen quiet;
  Feedback nothingKept(&quiet, Feedback::Keep::Nothing);
  nothingKept.PushMessage(7, "x");
  EXPECT_TRUE(nothingKept.Messages().empty());
  EXPECT_EQ(quiet.cases, std::vector<int>{7});
}

}  // namespace
}  // namespace treetri
