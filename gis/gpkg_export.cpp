#include "gis/gpkg_export.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "gis/crs_check.h"
#include "gis/gpkg_describe.h"
#include "platform/files.h"
#include "platform/temporary_files.h"
#include "data/angles.h"
#include "quality/quality_files.h"

namespace treetri::gis {
namespace {

using quality::ObservationKind;
using quality::ObservationAssessment;
using quality::CaseAssessment;

constexpr int kEllipseVertices = 72;
constexpr long long kProgressStep = 256;

void RegisterDrivers() {
  static std::once_flag once;
  std::call_once(once, [] { GDALAllRegister(); });
}

// GDAL's messages go to the status, not to standard error, for as long as
// this object lives (the handler is per thread).
struct QuietErrors {
  QuietErrors() {
    CPLPushErrorHandler(CPLQuietErrorHandler);
    CPLErrorReset();
  }
  ~QuietErrors() { CPLPopErrorHandler(); }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;
};

std::string LastGdalError() {
  const std::string m = CPLGetLastErrorMsg();
  return m.empty() ? std::string() : ": " + m;
}

// Reads the CRS text without touching files or the network.
bool ParseCrs(const std::string& crs, OGRSpatialReference& srs, ExportStatus& status) {
  RegisterDrivers();
  QuietErrors quiet;
  std::string notWhole;
  if (!CrsTextWhole(crs, notWhole)) {
    status.code = ExportCode::UnknownCrs;
    status.message = notWhole;
    return false;
  }
  if (srs.SetFromUserInput(crs.c_str(), OGRSpatialReference::SET_FROM_USER_INPUT_LIMITATIONS) ==
      OGRERR_NONE)
    return true;
  status.code = ExportCode::UnknownCrs;
  status.message = "The coordinate reference system \"" + crs + "\" is not known" +
                   LastGdalError() + ". No GeoPackage is written.";
  return false;
}

// --- Field values --------------------------------------------------------

void Put(OGRFeature& f, const char* name, int v) { f.SetField(name, v); }
void Put(OGRFeature& f, const char* name, double v) { f.SetField(name, v); }
void Put(OGRFeature& f, const char* name, const std::optional<double>& v) {
  if (v && std::isfinite(*v))
    f.SetField(name, *v);
  else
    f.SetFieldNull(f.GetFieldIndex(name));
}
void Put(OGRFeature& f, const char* name, const std::optional<int>& v) {
  if (v)
    f.SetField(name, *v);
  else
    f.SetFieldNull(f.GetFieldIndex(name));
}
// A text that is empty has no value: NULL, as a Shapefile or GeoJSON copy
// also keeps it.
void Put(OGRFeature& f, const char* name, const std::string& v) {
  if (v.empty())
    f.SetFieldNull(f.GetFieldIndex(name));
  else
    f.SetField(name, v.c_str());
}
// The fields that name the case in three layers.
void PutCase(OGRFeature& f, int caseNumber, int plot, int tree) {
  Put(f, "case_no", caseNumber);
  Put(f, "plot", plot);
  Put(f, "tree", tree);
}

// The columns of each layer, in order. Names are short and stable: the
// README lists them.
struct Column {
  const char* name;
  OGRFieldType type;
  OGRFieldSubType subtype = OFSTNone;  // OFSTBoolean: a GeoPackage BOOLEAN
  const char* domain = nullptr;        // a coded field domain (Domains())
};

// The coded values of the layers as field domains (GDAL writes them in
// gpkg_data_column_constraints): the words of the quality files, each with
// what it means. A field's NULL is none of them ("no suspect", "controlled").
struct Domain {
  const char* name;
  const char* description;
  std::vector<std::pair<std::string, std::string>> codes;
};

std::vector<Domain> Domains() {
  using quality::SuspectKind;
  using quality::Verdict;
  return {
      {"verdict", "Verdict of a case",
       {{quality::VerdictWord(Verdict::Ok), "no gross error found"},
        {quality::VerdictWord(Verdict::Outlier), "an observation failed its test"},
        {quality::VerdictWord(Verdict::NoRedundancy), "no observation is controlled"},
        {quality::VerdictWord(Verdict::Failed), "the adjustment failed"},
        {quality::VerdictWord(Verdict::NotComputed), "the case was not adjusted"}}},
      {"suspect_kind", "Kind of a case's suspect observation",
       {{quality::SuspectKindWord(SuspectKind::Azimuth), "an azimuth"},
        {quality::SuspectKindWord(SuspectKind::Distance), "a distance"},
        {quality::SuspectKindWord(SuspectKind::MapX), "a map tree's X"},
        {quality::SuspectKindWord(SuspectKind::MapY), "a map tree's Y"},
        {quality::SuspectKindWord(SuspectKind::Sighting), "a whole sighting (distance and azimuth)"},
        {quality::SuspectKindWord(SuspectKind::MapTree),
         "both coordinates of a map tree (displaced on the map)"},
        {quality::SuspectKindWord(SuspectKind::SightingOrMapTree),
         "a sighting or its map tree, sighted once: they cannot be told apart"}}},
      {"control", "How well an observation is controlled by the others",
       {{quality::ControlWord(quality::Control::Weak), "weakly controlled"},
        {quality::ControlWord(quality::Control::Uncontrolled), "not controlled"}}},
      {"global_test", "Global chi-square test at 95 %",
       {{quality::GlobalTestWord(quality::GlobalTest::Pass), "passed"},
        {quality::GlobalTestWord(quality::GlobalTest::Fail), "failed"}}},
      {"method", "How a case was assessed",
       {{"case", "alone (per case)"}, {"network", "with its plot's network"}}},
      {"sighting_kinds", "Observations of a sighting",
       {{"azimuth+distance", "azimuth and distance"},
        {"azimuth", "azimuth only"},
        {"distance", "distance only"}}},
  };
}

bool AddDomains(GDALDataset& ds, std::string& error) {
  for (const Domain& d : Domains()) {
    std::vector<OGRCodedValue> codes;
    for (const auto& [code, meaning] : d.codes)
      codes.push_back(OGRCodedValue{CPLStrdup(code.c_str()), CPLStrdup(meaning.c_str())});
    auto domain = std::make_unique<OGRCodedFieldDomain>(d.name, d.description, OFTString,
                                                        OFSTNone, std::move(codes));
    if (!ds.AddFieldDomain(std::move(domain), error)) return false;
  }
  return true;
}

const std::vector<Column> kFieldTreeColumns = {
    {"case_no", OFTInteger},   {"iter", OFTInteger},     {"plot", OFTInteger},
    {"tree", OFTInteger},      {"species", OFTInteger},  {"x_ini", OFTReal},
    {"y_ini", OFTReal},        {"x_adj", OFTReal},       {"y_adj", OFTReal},
    {"sigma_null", OFTReal},   {"sigma_x", OFTReal},     {"sigma_y", OFTReal},
    {"status", OFTString},     {"x", OFTReal},           {"y", OFTReal},
    {"sigma0", OFTReal},       {"glob_test", OFTString, OFSTNone, "global_test"},
    {"sx", OFTReal},
    {"sy", OFTReal},           {"ell_a", OFTReal},       {"ell_b", OFTReal},
    {"ell_az", OFTReal},       {"conf95_a", OFTReal},    {"conf95_b", OFTReal},
    {"max_w", OFTReal},        {"verdict", OFTString, OFSTNone, "verdict"},
    {"suspect", OFTString, OFSTNone, "suspect_kind"},
    {"susp_tree", OFTInteger}, {"susp_w", OFTReal},      {"sugg_tree", OFTInteger},
    {"sugg_s0", OFTReal},      {"redundancy", OFTInteger}, {"converged", OFTInteger, OFSTBoolean},
    {"warnings", OFTString},   {"method", OFTString, OFSTNone, "method"}};

const std::vector<Column> kMapTreeColumns = {
    {"plot", OFTInteger}, {"tree", OFTInteger}, {"species", OFTInteger}, {"z", OFTReal},
    {"x_adj", OFTReal},   {"y_adj", OFTReal},   {"n_sight", OFTInteger},
    {"shift", OFTReal},   {"sx", OFTReal},      {"sy", OFTReal},
    {"test", OFTReal},    {"displaced", OFTInteger, OFSTBoolean}};

const std::vector<Column> kSightingColumns = {
    {"case_no", OFTInteger}, {"plot", OFTInteger}, {"tree", OFTInteger},
    {"slot", OFTInteger},    {"sighted", OFTInteger},
    {"kinds", OFTString, OFSTNone, "sighting_kinds"},
    {"res_az", OFTReal},     {"res_dist", OFTReal},   {"res_mx", OFTReal},
    {"res_my", OFTReal},     {"w_az", OFTReal},       {"w_dist", OFTReal},
    {"max_w", OFTReal},      {"control", OFTString, OFSTNone, "control"},
    {"suspect", OFTInteger, OFSTBoolean}, {"left_out", OFTInteger, OFSTBoolean}};

const std::vector<Column> kEllipseColumns = {
    {"case_no", OFTInteger}, {"plot", OFTInteger}, {"tree", OFTInteger},
    {"semi_a", OFTReal},     {"semi_b", OFTReal},  {"azimuth", OFTReal}};

const std::vector<Column> kRemeasureColumns = {
    {"plot", OFTInteger},  {"tree", OFTInteger},    {"case_no", OFTInteger},
    {"slot", OFTInteger},  {"sighted", OFTInteger}, {"check", OFTString},
    {"reason", OFTString}, {"sugg_tree", OFTInteger}};

const std::vector<Column> kPlotColumns = {
    {"plot", OFTInteger},          {"field_trees", OFTInteger},
    {"map_trees", OFTInteger},     {"observations", OFTInteger},
    {"redundancy", OFTInteger},    {"sigma0", OFTReal},
    {"glob_test", OFTString, OFSTNone, "global_test"},
    {"az_bias", OFTReal},          {"az_bias_sd", OFTReal},
    {"az_bias_w", OFTReal},        {"az_bias_test", OFTString},
    {"displaced", OFTInteger},     {"removed", OFTInteger},
    {"iter", OFTInteger},          {"converged", OFTInteger, OFSTBoolean}};

// --- What goes into the layers ------------------------------------------

// One sighting of a case: its observation rows gathered by slot, or the
// sighting left out whole (no rows).
struct Sighting {
  const ObservationAssessment* first = nullptr;
  const ObservationAssessment* rows[4] = {};  // by ObservationKind
  const LeftOutSighting* leftOut = nullptr;
};

// A map tree's adjusted coordinates summed over the sightings of it, at the
// map coordinates those sightings used: a tree listed twice on the map has
// one entry per record that was sighted.
struct MapTreeSightings {
  double mapX = 0, mapY = 0;
  double sumX = 0, sumY = 0;
  int count = 0;
};

// Map coordinates as the quality files give them (4 decimals) and as the
// map holds them are the same record within this.
constexpr double kSameMapPoint = 1e-3;

bool SamePoint(double x1, double y1, double x2, double y2) {
  return std::fabs(x1 - x2) <= kSameMapPoint && std::fabs(y1 - y2) <= kSameMapPoint;
}

struct Prepared {
  std::unordered_map<int, const CaseAssessment*> quality;         // by case
  std::set<std::pair<int, int>> suspects;                     // (case, slot)
  std::map<std::pair<int, int>, Sighting> sightings;          // by (case, slot)
  std::map<std::pair<int, int>, std::vector<MapTreeSightings>> mapTrees;  // by (plot, tree)
  long long ellipses = 0;
};

bool HasEllipse(const CaseAssessment& q) {
  return q.x && q.y && q.conf95A && q.conf95B && q.ellipseAzimuth;
}

Prepared Prepare(const ExportData& data) {
  Prepared p;
  for (const CaseAssessment& q : data.quality) {
    p.quality[q.caseNumber] = &q;
    if (HasEllipse(q)) ++p.ellipses;
  }
  for (const ObservationAssessment& o : data.observations) {
    Sighting& s = p.sightings[{o.caseNumber, o.slot}];
    if (!s.first) s.first = &o;
    s.rows[static_cast<int>(o.kind)] = &o;
  }
  for (const auto& [key, s] : p.sightings) {
    const ObservationAssessment* mx = s.rows[static_cast<int>(ObservationKind::MapX)];
    const ObservationAssessment* my = s.rows[static_cast<int>(ObservationKind::MapY)];
    if (!mx || !my) continue;
    std::vector<MapTreeSightings>& records = p.mapTrees[{mx->plot, mx->sightedTree}];
    auto it = std::find_if(records.begin(), records.end(), [&](const MapTreeSightings& m) {
      return SamePoint(m.mapX, m.mapY, mx->observed, my->observed);
    });
    if (it == records.end()) it = records.insert(records.end(), {mx->observed, my->observed});
    it->sumX += mx->adjusted;
    it->sumY += my->adjusted;
    ++it->count;
  }
  for (const LeftOutSighting& l : data.leftOut) {
    p.sightings[{l.caseNumber, l.slot}].leftOut = &l;
    if (l.suspect) p.suspects.insert({l.caseNumber, l.slot});
  }
  // The suspect sighting of each case: the line of the suspect observation
  // decides; where there is none (a whole sighting or a map tree is the
  // suspect, or the plot network removed the observation), every sighting
  // of the suspect's tree in the case.
  std::unordered_map<int, std::vector<ObservationAssessment>> ofSuspectTree;  // by case
  for (const ObservationAssessment& o : data.observations) {
    const auto q = p.quality.find(o.caseNumber);
    if (q != p.quality.end() && q->second->suspectTree == o.sightedTree)
      ofSuspectTree[o.caseNumber].push_back(o);
  }
  for (const auto& [caseNumber, lines] : ofSuspectTree) {
    if (const int slot = quality::SuspectSlot(*p.quality[caseNumber], lines)) {
      p.suspects.insert({caseNumber, slot});
      continue;
    }
    if (p.quality[caseNumber]->suspectKind == quality::SuspectKind::None) continue;
    for (const ObservationAssessment& o : lines) p.suspects.insert({caseNumber, o.slot});
  }
  return p;
}

const char* KindsText(const Sighting& s) {
  const bool az = s.leftOut ? s.leftOut->azimuth
                            : s.rows[static_cast<int>(ObservationKind::Azimuth)] != nullptr;
  const bool dist = s.leftOut ? s.leftOut->distance
                              : s.rows[static_cast<int>(ObservationKind::Distance)] != nullptr;
  return az && dist ? "azimuth+distance" : az ? "azimuth" : dist ? "distance" : "";
}

// --- Writing ------------------------------------------------------------

class Writer {
 public:
  Writer(GDALDataset& ds, OGRSpatialReference* srs, long long total, Feedback* feedback)
      : ds_(ds), srs_(srs), total_(total), feedback_(feedback) {}

  // Creates the layer and writes one feature per item: fill sets the
  // feature's fields and geometry, false for an item without a feature.
  // False on a write error or when the caller cancels (cancelled() tells).
  template <class Items, class Fill>
  bool WriteLayer(const char* name, OGRwkbGeometryType type, const std::vector<Column>& columns,
                  const Items& items, Fill fill) {
    OGRLayer* layer = Layer(name, type, columns);
    if (!layer) return false;
    for (const auto& item : items) {
      OGRFeature f(layer->GetLayerDefn());
      if (fill(item, f) && !Add(*layer, f)) return false;
    }
    return true;
  }
  // The last report; the caller may still cancel here.
  bool Finish() {
    if (feedback_) {
      feedback_->SetProgress(total_, total_);
      cancelled_ = feedback_->IsCanceled();
    }
    return !cancelled_;
  }
  bool cancelled() const { return cancelled_; }

 private:
  OGRLayer* Layer(const char* name, OGRwkbGeometryType type, const std::vector<Column>& columns) {
    OGRLayer* layer = ds_.CreateLayer(name, srs_, type, nullptr);
    if (!layer) return nullptr;
    for (const Column& c : columns) {
      OGRFieldDefn field(c.name, c.type);
      field.SetSubType(c.subtype);
      if (c.domain) field.SetDomainName(c.domain);
      if (layer->CreateField(&field) != OGRERR_NONE) return nullptr;
    }
    return layer;
  }

  bool Add(OGRLayer& layer, OGRFeature& f) {
    if (layer.CreateFeature(&f) != OGRERR_NONE) return false;
    ++done_;
    if (feedback_ && done_ % kProgressStep == 0) {
      feedback_->SetProgress(done_, total_);
      if (feedback_->IsCanceled()) {
        cancelled_ = true;
        return false;
      }
    }
    return true;
  }

  GDALDataset& ds_;
  OGRSpatialReference* srs_;
  long long total_, done_ = 0;
  Feedback* feedback_;
  bool cancelled_ = false;
};

bool WriteFieldTrees(Writer& w, const ExportData& data, const Prepared& p) {
  return w.WriteLayer("field_trees", wkbPoint, kFieldTreeColumns, data.results,
                      [&](const CaseResult& r, OGRFeature& f) {
    PutCase(f, r.caseNumber, r.plot, r.tree);
    Put(f, "iter", r.iterations);
    Put(f, "species", r.species);
    Put(f, "x_ini", r.xIni);
    Put(f, "y_ini", r.yIni);
    Put(f, "x_adj", r.xAdj);
    Put(f, "y_adj", r.yAdj);
    Put(f, "sigma_null", r.sigmaNull);
    Put(f, "sigma_x", r.sigmaX);
    Put(f, "sigma_y", r.sigmaY);
    Put(f, "status", r.status);
    std::optional<double> x = r.xAdj, y = r.yAdj;
    const auto it = p.quality.find(r.caseNumber);
    if (it != p.quality.end()) {
      const CaseAssessment& q = *it->second;
      if (q.x && q.y) {
        x = q.x;
        y = q.y;
      }
      Put(f, "x", q.x);
      Put(f, "y", q.y);
      Put(f, "sigma0", q.sigma0);
      Put(f, "glob_test", quality::GlobalTestWord(q.globalTest));
      Put(f, "sx", q.sx);
      Put(f, "sy", q.sy);
      Put(f, "ell_a", q.ellipseA);
      Put(f, "ell_b", q.ellipseB);
      Put(f, "ell_az", q.ellipseAzimuth);
      Put(f, "conf95_a", q.conf95A);
      Put(f, "conf95_b", q.conf95B);
      Put(f, "max_w", q.maxW);
      Put(f, "verdict", quality::VerdictWord(q.verdict));
      Put(f, "suspect", quality::SuspectKindWord(q.suspectKind));
      Put(f, "susp_tree", q.suspectTree);
      Put(f, "susp_w", q.suspectW);
      Put(f, "sugg_tree", q.suggestedTree);
      Put(f, "sugg_s0", q.suggestedSigma0);
      Put(f, "redundancy", q.redundancy);
      if (q.converged)
        f.SetField("converged", *q.converged ? 1 : 0);
      else
        f.SetFieldNull(f.GetFieldIndex("converged"));
      Put(f, "warnings", q.warnings);
      // The network's method column where the row has it.
      Put(f, "method", std::string(q.networkFigures && q.networkFigures->network ? "network"
                                                                                  : "case"));
    }
    if (x && y && std::isfinite(*x) && std::isfinite(*y)) {
      OGRPoint point(*x, *y);
      f.SetGeometry(&point);
    }
    return true;
  });
}

bool WriteMapTrees(Writer& w, const ExportData& data, const Prepared& p) {
  return w.WriteLayer("map_trees", wkbPoint, kMapTreeColumns, data.mapTrees,
                      [&](const MapTreeRecord& m, OGRFeature& f) {
    Put(f, "plot", m.plot);
    Put(f, "tree", m.tree);
    Put(f, "species", m.species);
    Put(f, "z", m.z);
    // The sightings go to the record they used: of a tree listed twice,
    // the other record has none.
    const MapTreeSightings* used = nullptr;
    if (const auto it = p.mapTrees.find({m.plot, m.tree}); it != p.mapTrees.end())
      for (const MapTreeSightings& s : it->second)
        if (SamePoint(s.mapX, s.mapY, m.x, m.y)) used = &s;
    const auto net = data.networkMapTrees.find({m.plot, m.tree});
    if (net != data.networkMapTrees.end() &&
        SamePoint(net->second.mapX, net->second.mapY, m.x, m.y)) {
      // The plot network adjusts the map tree itself.
      const MapTreeNetwork& n = net->second;
      Put(f, "n_sight", n.sightings);
      Put(f, "x_adj", n.x);
      Put(f, "y_adj", n.y);
      Put(f, "shift", n.shift);
      Put(f, "sx", n.sx);
      Put(f, "sy", n.sy);
      Put(f, "test", n.test);
      Put(f, "displaced", n.displaced ? 1 : 0);
    } else {
      Put(f, "n_sight", used ? used->count : 0);
      if (used) {
        Put(f, "x_adj", used->sumX / used->count);
        Put(f, "y_adj", used->sumY / used->count);
      }
      if (data.plots) Put(f, "displaced", 0);  // the network did not move it
    }
    OGRPoint point(m.x, m.y);
    f.SetGeometry(&point);
    return true;
  });
}

bool WriteSightings(Writer& w, const Prepared& p) {
  return w.WriteLayer("sightings", wkbLineString, kSightingColumns, p.sightings,
                      [&](const std::pair<const std::pair<int, int>, Sighting>& item,
                          OGRFeature& f) {
    const Sighting& s = item.second;
    const auto [caseNumber, slot] = item.first;
    const auto q = p.quality.find(caseNumber);
    const CaseAssessment* row = q == p.quality.end() ? nullptr : q->second;
    const LeftOutSighting* left = s.leftOut;
    if (s.first)
      PutCase(f, caseNumber, s.first->plot, s.first->tree);
    else
      PutCase(f, caseNumber, left->plot, left->tree);
    Put(f, "slot", slot);
    Put(f, "sighted", s.first ? s.first->sightedTree : left->sightedTree);
    Put(f, "kinds", KindsText(s));
    const char* residualNames[4] = {"res_az", "res_dist", "res_mx", "res_my"};
    std::optional<double> maxW;
    quality::Control control = quality::Control::Controlled;
    for (int k = 0; k < 4; ++k) {
      const ObservationAssessment* r = s.rows[k];
      if (!r) continue;
      Put(f, residualNames[k], r->residual);
      if (r->w && (!maxW || std::fabs(*r->w) > *maxW)) maxW = std::fabs(*r->w);
      if (static_cast<int>(r->control) > static_cast<int>(control)) control = r->control;
    }
    if (s.rows[0]) Put(f, "w_az", s.rows[0]->w);
    if (s.rows[1]) Put(f, "w_dist", s.rows[1]->w);
    Put(f, "max_w", maxW);
    Put(f, "control", s.first ? std::string(quality::ControlWord(control)) : std::string());
    Put(f, "suspect", p.suspects.count(item.first) ? 1 : 0);
    // Left out whole: its distance and azimuth have no residuals.
    Put(f, "left_out", left ? 1 : 0);
    const ObservationAssessment* mx = s.rows[static_cast<int>(ObservationKind::MapX)];
    const ObservationAssessment* my = s.rows[static_cast<int>(ObservationKind::MapY)];
    // To the map tree as the case used it.
    double toX = 0, toY = 0;
    bool to = false;
    if (mx && my) {
      toX = mx->observed;
      toY = my->observed;
      to = true;
    } else if (left && left->mapX && left->mapY) {
      toX = *left->mapX;
      toY = *left->mapY;
      to = true;
    }
    if (row && row->x && row->y && to) {
      OGRLineString line;
      line.addPoint(*row->x, *row->y);
      line.addPoint(toX, toY);
      f.SetGeometry(&line);
    }
    return true;
  });
}

// The 95 % confidence ellipse as a closed ring of kEllipseVertices points,
// counter-clockwise; the major axis points along its azimuth (degrees
// clockwise from north).
OGRPolygon EllipsePolygon(double cx, double cy, double a, double b, double azimuthDeg) {
  const AzimuthUnit major = UnitOfAzimuth(azimuthDeg);
  const double ux = major.east, uy = major.north;
  const double vx = -uy, vy = ux;                       // minor axis, to its left
  OGRLinearRing ring;
  for (int k = 0; k <= kEllipseVertices; ++k) {
    const double t = 2 * kFullPi * (k % kEllipseVertices) / kEllipseVertices;
    const double ca = a * std::cos(t), sb = b * std::sin(t);
    ring.addPoint(cx + ca * ux + sb * vx, cy + ca * uy + sb * vy);
  }
  OGRPolygon polygon;
  polygon.addRing(&ring);
  return polygon;
}

bool WriteEllipses(Writer& w, const ExportData& data) {
  return w.WriteLayer("confidence_ellipses", wkbPolygon, kEllipseColumns, data.quality,
                      [&](const CaseAssessment& q, OGRFeature& f) {
    if (!HasEllipse(q)) return false;
    PutCase(f, q.caseNumber, q.plot, q.tree);
    Put(f, "semi_a", q.conf95A);
    Put(f, "semi_b", q.conf95B);
    Put(f, "azimuth", q.ellipseAzimuth);
    OGRPolygon polygon = EllipsePolygon(*q.x, *q.y, *q.conf95A, *q.conf95B, *q.ellipseAzimuth);
    f.SetGeometry(&polygon);
    return true;
  });
}

// The convex hull of points, counter-clockwise, without repeated or
// collinear points (Andrew's monotone chain).
std::vector<std::pair<double, double>> ConvexHull(std::vector<std::pair<double, double>> points) {
  std::sort(points.begin(), points.end());
  points.erase(std::unique(points.begin(), points.end()), points.end());
  if (points.size() < 3) return points;
  auto cross = [](const std::pair<double, double>& o, const std::pair<double, double>& a,
                  const std::pair<double, double>& b) {
    return (a.first - o.first) * (b.second - o.second) - (a.second - o.second) * (b.first - o.first);
  };
  std::vector<std::pair<double, double>> hull(2 * points.size());
  size_t k = 0;
  for (size_t i = 0; i < points.size(); ++i) {
    while (k >= 2 && cross(hull[k - 2], hull[k - 1], points[i]) <= 0) --k;
    hull[k++] = points[i];
  }
  for (size_t i = points.size() - 1, lower = k + 1; i-- > 0;) {
    while (k >= lower && cross(hull[k - 2], hull[k - 1], points[i]) <= 0) --k;
    hull[k++] = points[i];
  }
  hull.resize(k - 1);
  return hull;
}

// One feature per plot of the network: the convex hull of its field trees'
// positions and its sighted map trees' adjusted positions (no geometry for
// fewer than three points not on a line).
bool WritePlots(Writer& w, const ExportData& data, const Prepared& p) {
  if (!data.plots) return true;
  std::map<int, std::vector<std::pair<double, double>>> points;
  for (const CaseResult& r : data.results) {
    const auto q = p.quality.find(r.caseNumber);
    if (q != p.quality.end() && q->second->x && q->second->y)
      points[r.plot].push_back({*q->second->x, *q->second->y});
    else if (r.xAdj && r.yAdj)
      points[r.plot].push_back({*r.xAdj, *r.yAdj});
  }
  for (const auto& [key, m] : data.networkMapTrees) points[key.first].push_back({m.x, m.y});
  return w.WriteLayer("plots", wkbPolygon, kPlotColumns, *data.plots,
                      [&](const PlotFeature& pl, OGRFeature& f) {
    Put(f, "plot", pl.plot);
    Put(f, "field_trees", pl.fieldTrees);
    Put(f, "map_trees", pl.mapTrees);
    Put(f, "observations", pl.observations);
    Put(f, "redundancy", pl.redundancy);
    Put(f, "sigma0", pl.sigma0);
    Put(f, "glob_test", pl.globalTest);
    Put(f, "az_bias", pl.azimuthBias);
    Put(f, "az_bias_sd", pl.azimuthBiasSd);
    Put(f, "az_bias_w", pl.azimuthBiasW);
    Put(f, "az_bias_test", pl.azimuthBiasTest);
    Put(f, "displaced", pl.displacedMapTrees);
    Put(f, "removed", pl.removed);
    Put(f, "iter", pl.iterations);
    Put(f, "converged", pl.converged ? 1 : 0);
    const auto it = points.find(pl.plot);
    if (it != points.end()) {
      const auto hull = ConvexHull(it->second);
      if (hull.size() >= 3) {
        OGRLinearRing ring;
        for (const auto& [x, y] : hull) ring.addPoint(x, y);
        ring.addPoint(hull[0].first, hull[0].second);
        OGRPolygon polygon;
        polygon.addRing(&ring);
        f.SetGeometry(&polygon);
      }
    }
    return true;
  });
}

bool WriteRemeasure(Writer& w, const ExportData& data) {
  if (!data.remeasure) return true;
  return w.WriteLayer("remeasure", wkbPoint, kRemeasureColumns, *data.remeasure,
                      [&](const RemeasureFeature& r, OGRFeature& f) {
    Put(f, "plot", r.plot);
    Put(f, "tree", r.tree);
    Put(f, "case_no", r.caseNumber);
    Put(f, "slot", r.slot);
    Put(f, "sighted", r.sightedTree);
    Put(f, "check", r.check);
    Put(f, "reason", r.reason);
    Put(f, "sugg_tree", r.suggestedTree);
    if (r.x && r.y && std::isfinite(*r.x) && std::isfinite(*r.y)) {
      OGRPoint point(*r.x, *r.y);
      f.SetGeometry(&point);
    }
    return true;
  });
}

void RemoveWithCompanions(const std::string& path) {
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) RemoveFile(path + suffix);
}

}  // namespace

ExportStatus CheckCrs(const std::string& crs) {
  ExportStatus status;
  OGRSpatialReference srs;
  if (!crs.empty()) ParseCrs(crs, srs, status);
  return status;
}

ExportStatus ExportGeoPackage(const ExportData& data, const std::string& path,
                              const std::string& crs, Feedback* feedback) {
  ExportStatus status;
  OGRSpatialReference srs;
  if (!crs.empty()) {
    if (!ParseCrs(crs, srs, status)) return status;
    srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  } else {
    // Without a system GDAL would give the layers the "undefined geographic"
    // one (0); the coordinates are plane metres, so they get the "undefined
    // Cartesian" one (-1) that the format defines for that, which GDAL
    // writes for a local system of that name, in the layers' entries and in
    // every geometry.
    srs.SetLocalCS("Undefined Cartesian SRS");
    status.warning = "No coordinate reference system given: the layers of \"" + path +
                     "\" carry none.";
  }
  RegisterDrivers();
  QuietErrors quiet;
  auto fail = [&](ExportCode code, const std::string& what) {
    status.code = code;
    status.message = code == ExportCode::Cancelled
                         ? "The export to \"" + path + "\" was cancelled; the file is unchanged."
                         : "The GeoPackage \"" + path + "\" cannot be written" + what + ".";
    status.warning.clear();
    return status;
  };
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
  if (!driver) return fail(ExportCode::CannotWrite, ": GDAL has no GeoPackage driver");

  const Prepared prepared = Prepare(data);
  const long long total = static_cast<long long>(data.results.size() + data.mapTrees.size() +
                                                 prepared.sightings.size()) +
                          prepared.ellipses +
                          static_cast<long long>(data.remeasure ? data.remeasure->size() : 0) +
                          static_cast<long long>(data.plots ? data.plots->size() : 0);
  if (const std::string kind = NonRegularKind(path); !kind.empty())
    return fail(ExportCode::CannotWrite, ": it is " + kind + ", not a regular file");
  // A short name beside the target; what a killed export left there goes.
  RemoveDeadTemporaries(path);
  // One time stamp for the whole file, pinned by SOURCE_DATE_EPOCH: GDAL
  // writes it as gpkg_contents' last_change.
  const std::string timestamp = ExportTimestamp();
  CPLSetThreadLocalConfigOption("OGR_CURRENT_DATE", timestamp.c_str());
  struct Unpin {
    ~Unpin() { CPLSetThreadLocalConfigOption("OGR_CURRENT_DATE", nullptr); }
  } unpin;
  const std::string temporary = TemporaryNameBeside(path, ".gpkg");
  std::unique_ptr<GDALDataset> ds(
      driver->Create(temporary.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
  // The user knows the file by its own name, not by the temporary one.
  auto userNamed = [&](std::string text) {
    for (size_t at = text.find(temporary); at != std::string::npos;
         at = text.find(temporary, at + path.size()))
      text.replace(at, temporary.size(), path);
    return text;
  };
  if (!ds) return fail(ExportCode::CannotWrite, userNamed(LastGdalError()));

  Writer w(*ds, &srs, total, feedback);
  std::string describeError;
  bool ok = AddDomains(*ds, describeError);
  if (!ok) CPLError(CE_Failure, CPLE_AppDefined, "%s", describeError.c_str());
  ok = ok && ds->StartTransaction() == OGRERR_NONE && WriteFieldTrees(w, data, prepared) &&
       WriteMapTrees(w, data, prepared) && WriteSightings(w, prepared) &&
       WriteEllipses(w, data) && WriteRemeasure(w, data) && WritePlots(w, data, prepared) &&
       w.Finish();
  if (ok && (!DescribeAndStyle(*ds, timestamp, describeError) ||
             !WriteRunMetadata(*ds, RunMetadataText(data.runRecord, crs,
                                               crs.empty() || !srs.GetName() ? "" : srs.GetName(),
                                               timestamp),
                               timestamp, describeError))) {
    ok = false;
    CPLError(CE_Failure, CPLE_AppDefined, "%s", describeError.c_str());
  }
  if (ok) ok = ds->CommitTransaction() == OGRERR_NONE;
  std::string reason = LastGdalError();
  CPLErrorReset();
  ds.reset();  // closes the file
  if (ok && CPLGetLastErrorType() == CE_Failure) {
    ok = false;
    reason = LastGdalError();
  }
  if (ok && !ReplaceFile(temporary, path, reason)) {
    ok = false;
    reason = ": " + reason;
  }
  if (!ok) {
    RemoveWithCompanions(temporary);
    return fail(w.cancelled() ? ExportCode::Cancelled : ExportCode::CannotWrite, userNamed(reason));
  }
  return status;
}

}  // namespace treetri::gis
