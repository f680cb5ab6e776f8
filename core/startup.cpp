#include "core/startup.h"

#include "data/field_reader.h"
#include "platform/files.h"
#include "platform/ui.h"

namespace treetri {

bool StartUp(Session& t, UserInterface& ui) { return StartUpIn(t, ui, CurrentDirectory()); }

bool StartUpIn(Session& t, UserInterface& ui, const std::string& currentDirectory) {
  if (currentDirectory.empty()) {
    ui.MessageBox(kNoCurrentFolderMessage);
    return false;
  }
  t.WorkFolder = currentDirectory + kPathSeparator;
  ui.MessageBox("Assuming that all files are in folder " + t.WorkFolder);

  const std::string probe = t.WorkFolder + kProbeFileName;
  auto failed = [&] {
    ui.MessageBox("TREETRI is badly written:; it assumes I/O access to " + t.WorkFolder +
                  " -folder, point (.) as decimal and comma (,) as list separator!");
    return true;
  };
  // The program writes its numbers itself, always with a point, so the
  // probe's first line is "1.0"; the second holds 1, 2 and 3 separated by
  // commas.
  const std::string probeText = "1.0\r\n1, 2,3\r\n";
  // The probe is made only where no file of its name exists. A file found
  // there (the user's own, or the probe of a start beside this one) is left
  // alone, and the check reads the same text from memory.
  std::string error, content;
  const CreateResult created = CreateNewFile(probe, probeText, error);
  if (created == CreateResult::Failed) return failed();
  if (created == CreateResult::Created) {
    if (!ReadWholeFile(probe, content, error)) return failed();
  } else {
    content = probeText;
  }
  FieldReader in(std::move(content));
  FieldError err;
  std::string first;
  if (!in.ReadText(first, err)) return failed();
  if (first.size() < 2 || first[1] != '.') ui.MessageBox(kDecimalSeparatorMessage);
  std::int32_t a = 0, b = 0, c = 0;
  bool numbers = in.ReadInt32(a, err) && in.ReadInt32(b, err) && in.ReadInt32(c, err);
  if (!numbers || a != 1 || b != 2 || c != 3) ui.MessageBox(kListSeparatorMessage);
  // The probe is deleted under the name it was created with, and only when
  // this start created it.
  if (created == CreateResult::Created && !RemoveFile(probe)) return failed();
  return true;
}

std::string HelpText(const Session& t) {
  return std::string("1) Read the photo-tree file\n") +
         "2) Read the azimuth and distance observations file\n" + "3) Calculate positions\n" +
         "4) Assess the results in the " + t.WorkFolder + "results.txt file";
}

}  // namespace treetri
