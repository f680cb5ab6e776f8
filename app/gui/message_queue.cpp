#include "app/gui/message_queue.h"

#include <algorithm>

#include <QCheckBox>
#include <QMessageBox>

namespace treetri {

MessageQueue::MessageQueue(QWidget* parent, const QString& title)
    : QObject(parent), parent_(parent), title_(title) {}

void MessageQueue::Add(const QString& text, int kind) {
  if (kind != 0 && Suppressed(kind)) return;
  waiting_.push_back({text, kind});
  if (!box_) ShowNext();
}

void MessageQueue::Reset() {
  offered_.clear();
  suppressed_.clear();
}

QCheckBox* MessageQueue::StopOffer() const { return box_ ? box_->checkBox() : nullptr; }

void MessageQueue::ShowNext() {
  if (waiting_.empty()) return;
  const Message m = waiting_.front();
  waiting_.erase(waiting_.begin());
  QWidget* parent = parent_ && parent_->isVisible() ? parent_ : nullptr;
  box_ = new QMessageBox(QMessageBox::NoIcon, title_, m.text, QMessageBox::Ok, parent);
  box_->setTextFormat(Qt::PlainText);
  box_->setWindowModality(Qt::NonModal);
  box_->setAttribute(Qt::WA_DeleteOnClose);
  if (m.kind != 0 && offered_.insert(m.kind).second)
    box_->setCheckBox(new QCheckBox(kStopOffer, box_));
  connect(box_, &QMessageBox::finished, this, [this, kind = m.kind] {
    const QCheckBox* stop = box_ ? box_->checkBox() : nullptr;
    box_ = nullptr;
    if (stop && stop->isChecked()) {
      suppressed_.insert(kind);
      waiting_.erase(std::remove_if(waiting_.begin(), waiting_.end(),
                                    [kind](const Message& w) { return w.kind == kind; }),
                     waiting_.end());
      if (onSuppressed) onSuppressed(kind);
    }
    ShowNext();
  });
  box_->show();
}

}  // namespace treetri
