// The help window (Form2): the steps of the work in a label and a Close
// button. Its text is composed when it is created.
#pragma once

#include <string>

#include <QWidget>

class QLabel;
class QPushButton;

namespace treetri {

class HelpWindow : public QWidget {
 public:
  // A top-level window over `parent` that deletes itself when closed.
  HelpWindow(const std::string& text, QWidget* parent);

  QLabel* Label1() const { return label_; }
  QPushButton* Command1() const { return close_; }

 private:
  QLabel* label_;
  QPushButton* close_;
};

}  // namespace treetri
