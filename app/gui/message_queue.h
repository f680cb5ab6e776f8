// Messages shown one at a time in a box that blocks nothing: the window
// stays usable (its Cancel button included) while a box is up, and the next
// message appears when the box is closed.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>

class QWidget;

namespace treetri {

class MessageQueue : public QObject {
 public:
  // The boxes open over `parent` with the title given.
  MessageQueue(QWidget* parent, const QString& title);
  void Add(const QString& text);
  // The box shown now, or null.
  QMessageBox* Current() const { return box_; }
  // Messages waiting behind the box shown.
  int Waiting() const { return static_cast<int>(waiting_.size()); }

 private:
  void ShowNext();
  QWidget* parent_;
  QString title_;
  QStringList waiting_;
  QPointer<QMessageBox> box_;
};

}  // namespace treetri
