#include "gis/gpkg_export.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>
#include <unistd.h>

#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "gis/crs_check.h"
#include "gis/gpkg_describe.h"
#include "platform/files.h"
#include "platform/temporary_files.h"
#include "data/angles.h"

namespace treetri::gis {
namespace {

using quality::ObservationKind;
using quality::ObservationRow;
using quality::QualityRow;

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
};

const std::vector<Column> kFieldTreeColumns = {
    {"case_no", OFTInteger},   {"iter", OFTInteger},     {"plot", OFTInteger},
    {"tree", OFTInteger},      {"species", OFTInteger},  {"x_ini", OFTReal},
    {"y_ini", OFTReal},        {"x_adj", OFTReal},       {"y_adj", OFTReal},
    {"sigma_null", OFTReal},   {"sigma_x", OFTReal},     {"sigma_y", OFTReal},
    {"status", OFTString},     {"x", OFTReal},           {"y", OFTReal},
    {"sigma0", OFTReal},       {"glob_test", OFTString}, {"sx", OFTReal},
    {"sy", OFTReal},           {"ell_a", OFTReal},       {"ell_b", OFTReal},
    {"ell_az", OFTReal},       {"conf95_a", OFTReal},    {"conf95_b", OFTReal},
    {"max_w", OFTReal},        {"verdict", OFTString},   {"suspect", OFTString},
    {"susp_tree", OFTInteger}, {"susp_w", OFTReal},      {"sugg_tree", OFTInteger},
    {"sugg_s0", OFTReal},      {"redundancy", OFTInteger}, {"converged", OFTInteger, OFSTBoolean},
    {"warnings", OFTString}};

const std::vector<Column> kMapTreeColumns = {
    {"plot", OFTInteger}, {"tree", OFTInteger}, {"species", OFTInteger}, {"z", OFTReal},
    {"x_adj", OFTReal},   {"y_adj", OFTReal},   {"n_sight", OFTInteger}};

const std::vector<Column> kSightingColumns = {
    {"case_no", OFTInteger}, {"plot", OFTInteger}, {"tree", OFTInteger},
    {"slot", OFTInteger},    {"sighted", OFTInteger}, {"kinds", OFTString},
    {"res_az", OFTReal},     {"res_dist", OFTReal},   {"res_mx", OFTReal},
    {"res_my", OFTReal},     {"w_az", OFTReal},       {"w_dist", OFTReal},
    {"max_w", OFTReal},      {"control", OFTString},  {"suspect", OFTInteger, OFSTBoolean}};

const std::vector<Column> kEllipseColumns = {
    {"case_no", OFTInteger}, {"plot", OFTInteger}, {"tree", OFTInteger},
    {"semi_a", OFTReal},     {"semi_b", OFTReal},  {"azimuth", OFTReal}};

const std::vector<Column> kRemeasureColumns = {
    {"plot", OFTInteger},  {"tree", OFTInteger},    {"case_no", OFTInteger},
    {"slot", OFTInteger},  {"sighted", OFTInteger}, {"check", OFTString},
    {"reason", OFTString}, {"sugg_tree", OFTInteger}};

// --- What goes into the layers ------------------------------------------

// One sighting of a case: its observation rows gathered by slot.
struct Sighting {
  const ObservationRow* first = nullptr;
  const ObservationRow* rows[4] = {};  // by ObservationKind
};

// A map tree's adjusted coordinates summed over the cases that sighted it.
struct MapTreeSightings {
  double sumX = 0, sumY = 0;
  int count = 0;
};

struct Prepared {
  std::unordered_map<int, const QualityRow*> quality;         // by case
  std::unordered_map<int, int> suspectSlots;                  // by case, where not 0
  std::map<std::pair<int, int>, Sighting> sightings;          // by (case, slot)
  std::map<std::pair<int, int>, MapTreeSightings> mapTrees;   // by (plot, tree)
  long long ellipses = 0;
};

bool HasEllipse(const QualityRow& q) {
  return q.x && q.y && q.conf95A && q.conf95B && q.ellipseAzimuth;
}

Prepared Prepare(const ExportData& data) {
  Prepared p;
  for (const QualityRow& q : data.quality) {
    p.quality[q.caseNumber] = &q;
    if (HasEllipse(q)) ++p.ellipses;
  }
  for (const ObservationRow& o : data.observations) {
    Sighting& s = p.sightings[{o.caseNumber, o.slot}];
    if (!s.first) s.first = &o;
    s.rows[static_cast<int>(o.kind)] = &o;
    if (o.kind == ObservationKind::MapX || o.kind == ObservationKind::MapY) {
      MapTreeSightings& m = p.mapTrees[{o.plot, o.sightedTree}];
      if (o.kind == ObservationKind::MapX) {
        m.sumX += o.adjusted;
        ++m.count;
      } else {
        m.sumY += o.adjusted;
      }
    }
  }
  // The suspect sighting of each case: the lines of its suspect's tree
  // decide.
  std::unordered_map<int, std::vector<ObservationRow>> ofSuspectTree;  // by case
  for (const ObservationRow& o : data.observations) {
    const auto q = p.quality.find(o.caseNumber);
    if (q != p.quality.end() && q->second->suspectTree == o.sightedTree)
      ofSuspectTree[o.caseNumber].push_back(o);
  }
  for (const auto& [caseNumber, lines] : ofSuspectTree)
    if (const int slot = quality::SuspectSlot(*p.quality[caseNumber], lines))
      p.suspectSlots[caseNumber] = slot;
  return p;
}

const char* KindsText(const Sighting& s) {
  const bool az = s.rows[static_cast<int>(ObservationKind::Azimuth)] != nullptr;
  const bool dist = s.rows[static_cast<int>(ObservationKind::Distance)] != nullptr;
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
      const QualityRow& q = *it->second;
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
    const auto it = p.mapTrees.find({m.plot, m.tree});
    const int count = it == p.mapTrees.end() ? 0 : it->second.count;
    Put(f, "n_sight", count);
    if (count > 0) {
      Put(f, "x_adj", it->second.sumX / count);
      Put(f, "y_adj", it->second.sumY / count);
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
    const ObservationRow& o = *s.first;
    const auto q = p.quality.find(o.caseNumber);
    const QualityRow* row = q == p.quality.end() ? nullptr : q->second;
    PutCase(f, o.caseNumber, o.plot, o.tree);
    Put(f, "slot", o.slot);
    Put(f, "sighted", o.sightedTree);
    Put(f, "kinds", KindsText(s));
    const char* residualNames[4] = {"res_az", "res_dist", "res_mx", "res_my"};
    std::optional<double> maxW;
    quality::Control control = quality::Control::Controlled;
    for (int k = 0; k < 4; ++k) {
      const ObservationRow* r = s.rows[k];
      if (!r) continue;
      Put(f, residualNames[k], r->residual);
      if (r->w && (!maxW || std::fabs(*r->w) > *maxW)) maxW = std::fabs(*r->w);
      if (static_cast<int>(r->control) > static_cast<int>(control)) control = r->control;
    }
    if (s.rows[0]) Put(f, "w_az", s.rows[0]->w);
    if (s.rows[1]) Put(f, "w_dist", s.rows[1]->w);
    Put(f, "max_w", maxW);
    Put(f, "control", quality::ControlWord(control));
    const auto suspect = p.suspectSlots.find(o.caseNumber);
    Put(f, "suspect", suspect != p.suspectSlots.end() && suspect->second == o.slot ? 1 : 0);
    const ObservationRow* mx = s.rows[static_cast<int>(ObservationKind::MapX)];
    const ObservationRow* my = s.rows[static_cast<int>(ObservationKind::MapY)];
    if (row && row->x && row->y && mx && my) {
      OGRLineString line;
      line.addPoint(*row->x, *row->y);
      line.addPoint(mx->observed, my->observed);
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
                      [&](const QualityRow& q, OGRFeature& f) {
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
                          static_cast<long long>(data.remeasure ? data.remeasure->size() : 0);
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
  bool ok = ds->StartTransaction() == OGRERR_NONE && WriteFieldTrees(w, data, prepared) &&
            WriteMapTrees(w, data, prepared) && WriteSightings(w, prepared) &&
            WriteEllipses(w, data) && WriteRemeasure(w, data) && w.Finish();
  std::string describeError;
  if (ok && !DescribeAndStyle(*ds, timestamp, describeError)) {
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
