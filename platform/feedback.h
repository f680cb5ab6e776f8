// A run's feedback: its progress, a cancel flag and the messages it has for
// the user, each with its case. The object is shared between the thread that
// does the work (the positioning run, the quality layer, the GeoPackage
// export), which reports into it, and whoever shows the work (a program, a
// window on another thread), which asks for the cancel and reads the rest.
// Every member may be called from any thread. No toolkit: a consumer that
// must show things on its own thread does so from its listener.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace treetri {

class UserInterface;

struct FeedbackMessage {
  int caseNumber = 0;  // the case the message is about; 0: the run as a whole
  std::string text;
  friend bool operator==(const FeedbackMessage& a, const FeedbackMessage& b) {
    return a.caseNumber == b.caseNumber && a.text == b.text;
  }
};

class Feedback {
 public:
  // Told of every change, on the thread that made it, right after the
  // feedback has taken it in (no lock is held: a listener may call back into
  // the feedback). A listener must not block for long: the work waits.
  class Listener {
   public:
    virtual ~Listener() = default;
    virtual void OnProgress(long long done, long long total) {
      (void)done;
      (void)total;
    }
    virtual void OnMessage(const FeedbackMessage& message) { (void)message; }
    virtual void OnCancel() {}
  };

  // What the feedback keeps of the messages for Messages() and
  // TakeMessages(); a listener is told of every message either way.
  enum class Keep { Messages, Nothing };

  explicit Feedback(Listener* listener = nullptr, Keep keep = Keep::Messages)
      : listener_(listener), keep_(keep) {}
  Feedback(const Feedback&) = delete;
  Feedback& operator=(const Feedback&) = delete;

  // The consumer's side: stop the work at its next check.
  void Cancel();
  bool IsCanceled() const { return canceled_.load(std::memory_order_acquire); }

  // The worker's side: `done` of `total` units (cases, features) finished.
  void SetProgress(long long done, long long total);
  long long Done() const { return done_.load(std::memory_order_relaxed); }
  long long Total() const { return total_.load(std::memory_order_relaxed); }
  // Done() in percent of Total(); 0 while the total is unknown.
  double Percent() const;

  // A message for the user about case `caseNumber` (0: the whole run).
  void PushMessage(int caseNumber, const std::string& text);
  // The messages kept so far, oldest first; TakeMessages also forgets them.
  std::vector<FeedbackMessage> Messages() const;
  std::vector<FeedbackMessage> TakeMessages();

 private:
  Listener* listener_;
  Keep keep_;
  std::atomic<bool> canceled_{false};
  std::atomic<long long> done_{0}, total_{0};
  mutable std::mutex mutex_;  // guards messages_
  std::vector<FeedbackMessage> messages_;
};

// A listener that shows each message in a message box of `ui`, on the
// thread that pushed it: what a program whose user interface may be called
// from the working thread passes (the batch program, the tests).
class MessagesToUi : public Feedback::Listener {
 public:
  explicit MessagesToUi(UserInterface& ui) : ui_(ui) {}
  void OnMessage(const FeedbackMessage& message) override;

 private:
  UserInterface& ui_;
};

}  // namespace treetri
