// Built only by the test IncludeRule.AHeaderOfALibraryNotLinkedIsNotFound:
// this target links treetri_data alone, so the header of treetri_output
// (which links data, not the other way) must not be found.
#include "data/tables.h"
#include "output/results_format.h"

int main() { return 0; }
