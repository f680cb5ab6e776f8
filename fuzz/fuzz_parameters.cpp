// The parameter reader on any bytes: a usable set of parameters or the
// message naming the file and the item; the values stay finite; a good
// file read afterwards gives the parameters of a fresh start.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "core/run.h"

using namespace treetri;
using namespace treetri::fuzz;

namespace {

void ExpectSameParameters(const RunParameters& a, const RunParameters& b) {
  bool same = a.ResultsFileName == b.ResultsFileName && a.Item4 == b.Item4 &&
              a.AzimuthCorrection == b.AzimuthCorrection && a.Item8a == b.Item8a &&
              a.Item8b == b.Item8b && a.SigmaMapX == b.SigmaMapX && a.SigmaMapY == b.SigmaMapY &&
              a.BlockRows == b.BlockRows && a.Item18 == b.Item18 && a.Item20 == b.Item20 &&
              a.Item22 == b.Item22 && a.Item24 == b.Item24 && a.Item28 == b.Item28 &&
              a.SigmaDistance == b.SigmaDistance && a.Item32 == b.Item32 &&
              a.SigmaAzimuth == b.SigmaAzimuth && a.Item36 == b.Item36;
  for (int r = 0; same && r < a.BlockRows; ++r)
    same = a.Block[static_cast<size_t>(r)] == b.Block[static_cast<size_t>(r)];
  FUZZ_CHECK(same, "parameters differ from a fresh reading");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CleanWorkFolder();
  Tables t;
  t.WorkFolder = WorkFolder();
  const std::string path =
      WriteWorkFile(kParameterFileName, std::string(reinterpret_cast<const char*>(data), size));
  HeadlessUi ui;
  const bool ok = ReadRunParameters(t, ui);
  const RunParameters& p = t.Parameters;
  if (ok) {
    FUZZ_CHECK(ui.messages.empty(), "a good reading gave a message");
    for (double s : {p.SigmaMapX, p.SigmaMapY, p.SigmaDistance, p.SigmaAzimuth})
      FUZZ_CHECK(s > 0 && std::isfinite(s), "a usable reading with a standard error <= 0");
  } else {
    FUZZ_CHECK(ui.messages.size() >= 2 && ui.messages[0] == kParameterErrorMessage,
               "a failed reading begins with the fixed message");
    bool named = false;
    for (const std::string& m : ui.messages) named |= m.find("\"" + path + "\"") != std::string::npos;
    FUZZ_CHECK(named, "no message names the parameter file");
  }
  FUZZ_CHECK(p.BlockRows >= 0 && p.BlockRows <= 4, "block rows " + std::to_string(p.BlockRows));
  for (double v : {p.AzimuthCorrection, p.Item8a, p.Item8b, p.SigmaMapX, p.SigmaMapY, p.Item18,
                   p.Item20, p.Item22, p.Item24, p.Item28, p.SigmaDistance, p.Item32,
                   p.SigmaAzimuth})
    FUZZ_CHECK(std::isfinite(v), "a parameter is not finite");

  // A good file afterwards reads as on a fresh start with the same
  // generator state.
  WriteWorkFile(kParameterFileName, DefaultParameters());
  Tables fresh;
  fresh.WorkFolder = t.WorkFolder;
  fresh.RandomState = t.RandomState;
  HeadlessUi freshUi;
  FUZZ_CHECK(ReadRunParameters(fresh, freshUi), "the default parameters do not read");
  FUZZ_CHECK(ReadRunParameters(t, ui), "good parameters after bad ones do not read");
  ExpectSameParameters(t.Parameters, fresh.Parameters);
  return 0;
}
