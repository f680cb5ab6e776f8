// The manual (F1): a window of its own, apart from the four-line help window,
// that explains the workflow, the verdicts, the plot map, corrections and
// the keyboard shortcuts.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <QWidget>

class QTextBrowser;

namespace treetri {

// The manual as HTML; shortcuts lists (command, key) pairs as the menus
// have them, so the manual names the keys the program really uses.
std::string ManualHtml(const std::vector<std::pair<std::string, std::string>>& shortcuts);

class ManualWindow : public QWidget {
 public:
  ManualWindow(const std::string& html, QWidget* parent);
  QTextBrowser* Text() const { return text_; }

 private:
  QTextBrowser* text_;
};

}  // namespace treetri
