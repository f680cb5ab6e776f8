#include "app/desktop.h"

int main(int argc, char** argv) { return treetri::RunDesktop(argc, argv); }
