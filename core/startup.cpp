#include "core/startup.h"

#include "data/field_reader.h"
#include "platform/files.h"
#include "platform/ui.h"

namespace treetri {

void StartUp(Session& t, UserInterface& ui) { StartUpIn(t, ui, CurrentDirectory()); }

void StartUpIn(Session& t, UserInterface& ui, const std::string& currentDirectory) {
  t.WorkFolder = currentDirectory + kPathSeparator;
  ui.MessageBox("Assuming that all files are in folder " + t.WorkFolder);

  const std::string probe = t.WorkFolder + kProbeFileName;
  auto failed = [&] {
    ui.MessageBox("TREETRI is badly written:; it assumes I/O access to " + t.WorkFolder +
                  " -folder, point (.) as decimal and comma (,) as list separator!");
  };
  // The program writes its numbers itself, always with a point, so the
  // probe's first line is "1.0"; the second holds 1, 2 and 3 separated by
  // commas.
  std::string error;
  if (!WriteWholeFile(probe, "1.0\r\n1, 2,3\r\n", error)) return failed();
  std::string content;
  if (!ReadWholeFile(probe, content, error)) return failed();
  FieldReader in(std::move(content));
  FieldError err;
  std::string first;
  if (!in.ReadText(first, err)) return failed();
  if (first.size() < 2 || first[1] != '.') ui.MessageBox(kDecimalSeparatorMessage);
  std::int32_t a = 0, b = 0, c = 0;
  bool numbers = in.ReadInt32(a, err) && in.ReadInt32(b, err) && in.ReadInt32(c, err);
  if (!numbers || a != 1 || b != 2 || c != 3) ui.MessageBox(kListSeparatorMessage);
  // The probe is deleted under the name it was created with.
  if (!RemoveFile(probe)) return failed();
}

std::string HelpText(const Session& t) {
  return std::string("1) Read the photo-tree file\n") +
         "2) Read the azimuth and distance observations file\n" + "3) Calculate positions\n" +
         "4) Assess the results in the " + t.WorkFolder + "results.txt file";
}

}  // namespace treetri
