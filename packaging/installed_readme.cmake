# Makes the README that the package installs from the project's README.md:
# the programs by their installed names (not build/bin/...) and, in place of
# the quick start from the source folder, where the installed files are.
# cmake -DIN=README.md -DOUT=... -P installed_readme.cmake
file(READ ${IN} text)
string(FIND "${text}" "## Quick start" start)
string(FIND "${text}" "## What the program does" end)
if(start EQUAL -1 OR end EQUAL -1)
  message(FATAL_ERROR "README.md: the sections Quick start and What the program does are needed")
endif()
string(SUBSTRING "${text}" 0 ${start} head)
string(SUBSTRING "${text}" ${end} -1 tail)
set(installed "## The installed package

The programs are installed in `/usr/bin`: `treetri` (the desktop program, which needs a
display), `treetri-batch`, `treetri-simulate`, `treetri-errors`, `treetri-check` and
`treetri-quality-report`; each has a manual page (`man treetri-batch`) and `--help`. The
example job is in `/usr/share/doc/treetri/examples/`: copy that folder, change into the copy and
run `treetri-batch map.txt sightings.txt` there. Names below such as `scripts/`, `tools/` and
`bench/` are folders of the source, which this package does not hold.

![The main window after a run on the example data](docs/screenshot.png)

")
string(REPLACE "build/bin/" "" tail "${tail}")
string(REPLACE "(`/usr/bin/treetri`)" "(`treetri`)" tail "${tail}")
file(WRITE ${OUT} "${head}${installed}${tail}")
