// Texts of a case's quality line as the results table and the case panel
// show them.
#pragma once

#include <optional>

#include <QString>

#include "quality/assessment.h"

namespace treetri {

// The number with `decimals` decimals, empty when there is none.
QString NumberText(const std::optional<double>& v, int decimals);
// A redundancy number of 0, or a rounding error below it, reads "0.000".
QString RedundancyNumberText(double r);
// "distance to 15, w 48.12"; empty without a suspect.
QString SuspectText(const quality::CaseAssessment& r);
// "0.031 × 0.018": the 95 % ellipse's semi-axes in metres.
QString EllipseText(const quality::CaseAssessment& r);

}  // namespace treetri
