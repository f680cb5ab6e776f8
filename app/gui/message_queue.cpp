#include "app/gui/message_queue.h"

#include <QMessageBox>

namespace treetri {

MessageQueue::MessageQueue(QWidget* parent, const QString& title)
    : QObject(parent), parent_(parent), title_(title) {}

void MessageQueue::Add(const QString& text) {
  waiting_.append(text);
  if (!box_) ShowNext();
}

void MessageQueue::ShowNext() {
  if (waiting_.isEmpty()) return;
  QWidget* parent = parent_ && parent_->isVisible() ? parent_ : nullptr;
  box_ = new QMessageBox(QMessageBox::NoIcon, title_, waiting_.takeFirst(), QMessageBox::Ok,
                         parent);
  box_->setTextFormat(Qt::PlainText);
  box_->setWindowModality(Qt::NonModal);
  box_->setAttribute(Qt::WA_DeleteOnClose);
  connect(box_, &QMessageBox::finished, this, [this] {
    box_ = nullptr;
    ShowNext();
  });
  box_->show();
}

}  // namespace treetri
