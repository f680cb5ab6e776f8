// Messages shown one at a time in a box that blocks nothing: the window
// stays usable (its Cancel button included) while a box is up, and the next
// message appears when the box is closed.
//
// A message may belong to a kind (a number other than 0). The first box of
// each kind after Reset offers "Do not show this again during this run";
// once that is ticked and the box closed, the waiting messages of the kind
// are dropped and later ones are not shown until the next Reset.
#pragma once

#include <functional>
#include <set>
#include <vector>

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>

class QCheckBox;
class QWidget;

namespace treetri {

class MessageQueue : public QObject {
 public:
  static constexpr const char* kStopOffer = "Do not show this again during this run";

  // The boxes open over `parent` with the title given.
  MessageQueue(QWidget* parent, const QString& title);
  void Add(const QString& text, int kind = 0);
  // A new run: every kind is shown again and offers the question again.
  void Reset();
  // The box shown now, or null; its question, or null when it has none.
  QMessageBox* Current() const { return box_; }
  QCheckBox* StopOffer() const;
  // Messages waiting behind the box shown.
  int Waiting() const { return static_cast<int>(waiting_.size()); }
  // Whether messages of the kind are no longer shown.
  bool Suppressed(int kind) const { return suppressed_.count(kind) > 0; }

  // Called when the user stopped the boxes of a kind.
  std::function<void(int kind)> onSuppressed;

 private:
  struct Message {
    QString text;
    int kind = 0;
  };
  void ShowNext();
  QWidget* parent_;
  QString title_;
  std::vector<Message> waiting_;
  std::set<int> offered_, suppressed_;
  QPointer<QMessageBox> box_;
};

}  // namespace treetri
