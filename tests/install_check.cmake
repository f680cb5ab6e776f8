# Installs the build into a fresh prefix and checks that the programs, the
# desktop entry and the icon land in their usual places.
# cmake -DBUILD_DIR=... -DPREFIX=... -DWITH_QT=ON|OFF -P install_check.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
set(expected bin/treetri-batch bin/treetri-simulate bin/treetri-errors bin/treetri-check
  share/doc/treetri/README.md share/doc/treetri/examples/map.txt)
if(WITH_QT)
  list(APPEND expected bin/treetri share/applications/treetri.desktop
    share/icons/hicolor/scalable/apps/treetri.svg)
endif()
foreach(f IN LISTS expected)
  if(NOT EXISTS ${PREFIX}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
execute_process(COMMAND ${PREFIX}/bin/treetri-batch --version RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the installed treetri-batch does not run")
endif()
file(REMOVE_RECURSE ${PREFIX})
