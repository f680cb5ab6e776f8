#include "platform/feedback.h"

#include "platform/ui.h"

namespace treetri {

void Feedback::Cancel() {
  if (canceled_.exchange(true, std::memory_order_acq_rel)) return;
  if (listener_) listener_->OnCancel();
}

void Feedback::SetProgress(long long done, long long total) {
  done_.store(done, std::memory_order_relaxed);
  total_.store(total, std::memory_order_relaxed);
  if (listener_) listener_->OnProgress(done, total);
}

double Feedback::Percent() const {
  const long long total = Total();
  return total > 0 ? 100.0 * static_cast<double>(Done()) / static_cast<double>(total) : 0.0;
}

void Feedback::PushMessage(int caseNumber, const std::string& text) {
  FeedbackMessage message{caseNumber, text};
  if (keep_ == Keep::Messages) {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(message);
  }
  if (listener_) listener_->OnMessage(message);
}

std::vector<FeedbackMessage> Feedback::Messages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}

std::vector<FeedbackMessage> Feedback::TakeMessages() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<FeedbackMessage> taken;
  taken.swap(messages_);
  return taken;
}

void MessagesToUi::OnMessage(const FeedbackMessage& message) { ui_.MessageBox(message.text); }

}  // namespace treetri
