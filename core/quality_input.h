// The adapter between the legacy case and the quality layer: the input of
// the quality adjustment of a case, built from the case's result as the run
// leaves it. It lives here, above both, so that quality/ knows nothing of
// the case pipeline.
#pragma once

#include <string>

#include "data/tables.h"
#include "positioning/case_result.h"
#include "quality/case_input.h"

namespace treetri {

// The quality input of case `r`: the sightings with their map coordinates
// (looked up in `maps`), the azimuths with the correction the case applied,
// the case's initial approximation (unless it failed) and the standard
// errors of the run's parameters; its list status and the figures of its
// results line (LegacyFiguresOf).
quality::CaseInput QualityCaseInput(const LegacyCaseResult& r, const RunSettings& settings,
                                    const quality::PlotMaps& maps, const std::string& listStatus);

// The case fields of the results line of `r` as values: those the line
// writes as -999 are empty, and so are X_ini and Y_ini where the case made
// no initial approximation (the line repeats the case before's there).
// TypeOfIni without its padding blanks.
LegacyFigures LegacyFiguresOf(const LegacyCaseResult& r, const RunSettings& settings);

}  // namespace treetri
