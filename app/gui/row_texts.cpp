#include "app/gui/row_texts.h"
#include "quality/quality_files.h"

namespace treetri {

QString NumberText(const std::optional<double>& v, int decimals) {
  return v ? QString::number(*v, 'f', decimals) : QString();
}

QString RedundancyNumberText(double r) {
  const QString text = QString::number(r, 'f', 3);
  return text == "-0.000" ? text.mid(1) : text;
}

QString SuspectText(const quality::CaseAssessment& r) {
  if (r.suspectKind == quality::SuspectKind::None || !r.suspectTree) return {};
  QString text =
      QString("%1 to %2").arg(quality::SuspectKindWord(r.suspectKind)).arg(*r.suspectTree);
  if (r.suspectW) text += QString(", w %1").arg(*r.suspectW, 0, 'f', 2);
  return text;
}

QString EllipseText(const quality::CaseAssessment& r) {
  if (!r.conf95A || !r.conf95B) return {};
  return QString("%1 × %2").arg(*r.conf95A, 0, 'f', 3).arg(*r.conf95B, 0, 'f', 3);
}

}  // namespace treetri
