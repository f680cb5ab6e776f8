// The Messages panel: a dock under the main window's client area that keeps
// the messages the window did not put in a box (those of opening a job, and
// of a run), each with the case it belongs to. Activating a line with a
// case shows that case.
#pragma once

#include <functional>
#include <string>

#include <QDockWidget>

class QTreeWidget;

namespace treetri {

class QtUi;

class MessagesPanel : public QDockWidget {
 public:
  explicit MessagesPanel(QWidget* parent = nullptr);

  // Adds a message; caseNumber 0 for one that belongs to no case.
  void Add(int caseNumber, const std::string& text);
  void Clear();
  int Count() const;
  // The case and the text of message i (from 0).
  int CaseOf(int i) const;
  std::string TextOf(int i) const;

  QTreeWidget* Lines() const { return lines_; }

  // Called with the case of a line the user activates (double-click, Enter).
  std::function<void(int caseNumber)> onCaseActivated;

 private:
  QTreeWidget* lines_;
};

// While it lives, the messages of the user-interface operations go to the
// Messages panel instead of a box.
class MessagesToPanel {
 public:
  MessagesToPanel(QtUi& ui, MessagesPanel* panel);
  ~MessagesToPanel();
  MessagesToPanel(const MessagesToPanel&) = delete;
  MessagesToPanel& operator=(const MessagesToPanel&) = delete;

 private:
  QtUi& ui_;
  std::function<void(const std::string&)> saved_;
};

}  // namespace treetri
