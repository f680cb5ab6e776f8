#include <cstdio>
#include <iostream>

#include "data/readers.h"
#include "platform/headless_ui.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: treetri-batch MAP SIGHTINGS\n");
    return 2;
  }
  treetri::Tables t;
  treetri::HeadlessUi ui;
  ui.onMessage = [](const std::string& m) { std::cerr << m << '\n'; };
  bool ok = treetri::ReadPhotoMapFile(t, ui, argv[1]) && treetri::ReadSightingFile(t, ui, argv[2]);
  return ok ? 0 : 1;
}
