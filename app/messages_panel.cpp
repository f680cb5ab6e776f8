#include "app/messages_panel.h"

#include <algorithm>

#include <QHeaderView>
#include <QTreeWidget>

#include "platform/qt/qt_ui.h"

namespace treetri {

MessagesPanel::MessagesPanel(QWidget* parent) : QDockWidget("Messages", parent) {
  setObjectName("MessagesPanel");
  lines_ = new QTreeWidget(this);
  lines_->setObjectName("MessageLines");
  lines_->setColumnCount(2);
  lines_->setHeaderLabels({"Case", "Message"});
  lines_->setRootIsDecorated(false);
  lines_->setUniformRowHeights(true);
  lines_->setWordWrap(false);
  // The case column as wide as a six-digit case number: sizing it to its
  // contents would measure every line again with each message added.
  lines_->header()->setSectionResizeMode(0, QHeaderView::Fixed);
  lines_->header()->resizeSection(
      0, std::max(lines_->fontMetrics().horizontalAdvance("Case"),
                  lines_->fontMetrics().horizontalAdvance("000000")) + 16);
  lines_->header()->setStretchLastSection(true);
  setWidget(lines_);
  connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
    if (visible) lines_->scrollToBottom();
  });
  connect(lines_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
    const int n = item->data(0, Qt::UserRole).toInt();
    if (n > 0 && onCaseActivated) onCaseActivated(n);
  });
}

void MessagesPanel::Add(int caseNumber, const std::string& text) {
  QString line = QString::fromStdString(text);
  line.replace('\n', ' ');
  auto* item = new QTreeWidgetItem({caseNumber > 0 ? QString::number(caseNumber) : QString(), line});
  item->setData(0, Qt::UserRole, caseNumber);
  item->setToolTip(1, QString::fromStdString(text));
  lines_->addTopLevelItem(item);
  // The newest line in sight; a hidden panel is scrolled when it is shown.
  if (lines_->isVisible()) lines_->scrollToItem(item);
}

void MessagesPanel::Clear() { lines_->clear(); }

int MessagesPanel::Count() const { return lines_->topLevelItemCount(); }

int MessagesPanel::CaseOf(int i) const {
  return lines_->topLevelItem(i)->data(0, Qt::UserRole).toInt();
}

std::string MessagesPanel::TextOf(int i) const {
  return lines_->topLevelItem(i)->toolTip(1).toStdString();
}

MessagesToPanel::MessagesToPanel(QtUi& ui, MessagesPanel* panel) : ui_(ui), saved_(ui.messageHook) {
  ui.messageHook = [panel](const std::string& text) { panel->Add(0, text); };
}

MessagesToPanel::~MessagesToPanel() { ui_.messageHook = saved_; }

}  // namespace treetri
