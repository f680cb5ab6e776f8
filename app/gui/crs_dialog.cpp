#include "app/gui/crs_dialog.h"

#include <memory>

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSettings>
#include <QVBoxLayout>

#include "gis/crs_list.h"

namespace treetri {
namespace {

constexpr int kEntryRole = Qt::UserRole;  // the entry's index in KnownCrsList

std::unique_ptr<QSettings> Settings(const QString& path) {
  if (path.isEmpty()) return std::make_unique<QSettings>("treetri", "treetri");
  return std::make_unique<QSettings>(path, QSettings::IniFormat);
}

// A folder's key: its name in hexadecimal, as a key must not hold slashes.
QString FolderKey(const QString& folder) {
  return "exportCrs/" + QString::fromLatin1(folder.toUtf8().toHex());
}

QString AreaText(const gis::CrsEntry& e) {
  QString text = QString::fromStdString(e.area);
  if (e.hasBox)
    text += QString(" (%1° to %2° E, %3° to %4° N)")
                .arg(e.west, 0, 'f', 2)
                .arg(e.east, 0, 'f', 2)
                .arg(e.south, 0, 'f', 2)
                .arg(e.north, 0, 'f', 2);
  return text;
}

}  // namespace

CrsDialog::CrsDialog(const QString& crs, QWidget* parent) : QDialog(parent) {
  setWindowTitle("Coordinate reference system");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("Search the systems by code or name (e.g. \"2393\" or \"finland\"):"));
  search_ = new QLineEdit;
  search_->setObjectName("CrsSearch");
  search_->setClearButtonEnabled(true);
  layout->addWidget(search_);
  list_ = new QListWidget;
  list_->setObjectName("CrsList");
  list_->setUniformItemSizes(true);
  const std::vector<gis::CrsEntry>& known = gis::KnownCrsList();
  for (size_t i = 0; i < known.size(); ++i) {
    auto* item = new QListWidgetItem(QString::fromStdString(known[i].id + "  " + known[i].name));
    item->setData(kEntryRole, static_cast<int>(i));
    item->setToolTip(AreaText(known[i]));
    list_->addItem(item);
  }
  layout->addWidget(list_, 1);
  area_ = new QLabel;
  area_->setWordWrap(true);
  layout->addWidget(area_);
  layout->addWidget(new QLabel(
      "System of the coordinates (EPSG:NNNN, WKT or PROJ text; empty for none):"));
  crs_ = new QLineEdit(crs);
  crs_->setObjectName("CrsText");
  layout->addWidget(crs_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(search_, &QLineEdit::textChanged, this, [this](const QString& text) { Search(text); });
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row < 0 || list_->item(row)->isHidden()) return;
    const auto& e = gis::KnownCrsList()[static_cast<size_t>(list_->item(row)->data(kEntryRole).toInt())];
    crs_->setText(QString::fromStdString(e.id));
    area_->setText("Area of use: " + AreaText(e));
  });
  connect(list_, &QListWidget::itemActivated, this, [this] { accept(); });
  resize(560, 480);
  // The system offered is shown in the list when it is one of it.
  const QString offered = crs.trimmed();
  for (int row = 0; row < list_->count() && !offered.isEmpty(); ++row)
    if (list_->item(row)->text().startsWith(offered + "  ")) {
      list_->setCurrentRow(row);
      list_->scrollToItem(list_->item(row));
      break;
    }
  search_->setFocus();
}

QString CrsDialog::Crs() const { return crs_->text().trimmed(); }

void CrsDialog::Search(const QString& text) {
  const std::string words = text.toStdString();
  const std::vector<gis::CrsEntry>& known = gis::KnownCrsList();
  for (int row = 0; row < list_->count(); ++row) {
    QListWidgetItem* item = list_->item(row);
    item->setHidden(!gis::CrsMatches(known[static_cast<size_t>(item->data(kEntryRole).toInt())], words));
  }
}

QStringList CrsDialog::Shown() const {
  QStringList ids;
  const std::vector<gis::CrsEntry>& known = gis::KnownCrsList();
  for (int row = 0; row < list_->count(); ++row)
    if (!list_->item(row)->isHidden())
      ids << QString::fromStdString(known[static_cast<size_t>(list_->item(row)->data(kEntryRole).toInt())].id);
  return ids;
}

void CrsDialog::Choose(int row) {
  for (int i = 0, shown = 0; i < list_->count(); ++i) {
    if (list_->item(i)->isHidden()) continue;
    if (shown++ == row) {
      list_->setCurrentRow(i);
      return;
    }
  }
}

bool CrsDialog::Ask(QWidget* parent, QString& crs) {
  CrsDialog dialog(crs, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  crs = dialog.Crs();
  return true;
}

bool RememberedCrs(const QString& folder, QString& crs, const QString& settingsPath) {
  auto s = Settings(settingsPath);
  const QString key = FolderKey(folder);
  if (folder.isEmpty() || !s->contains(key)) return false;
  crs = s->value(key).toString();
  return true;
}

void RememberCrs(const QString& folder, const QString& crs, const QString& settingsPath) {
  if (folder.isEmpty()) return;
  Settings(settingsPath)->setValue(FolderKey(folder), crs);
}

}  // namespace treetri
