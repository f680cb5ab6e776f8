#include "app/help_window.h"

#include <QLabel>
#include <QPushButton>

namespace treetri {

HelpWindow::HelpWindow(const std::string& text, QWidget* parent)
    : QWidget(parent, Qt::Window) {
  setObjectName("Form2");
  setWindowTitle("Help window");
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(312, 213);

  label_ = new QLabel(QString::fromStdString(text), this);
  label_->setObjectName("Label1");
  label_->setTextFormat(Qt::PlainText);
  label_->setWordWrap(true);
  label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label_->setGeometry(16, 32, 281, 105);

  close_ = new QPushButton("Close", this);
  close_->setObjectName("Command1");
  close_->setGeometry(112, 160, 89, 41);
  connect(close_, &QPushButton::clicked, this, &QWidget::close);
}

}  // namespace treetri
