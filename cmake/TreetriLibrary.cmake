# treetri_library(NAME FOLDER SOURCES...): a library whose headers are
# reachable only through its own include root, where FOLDER (the library's
# folder relative to the project root, e.g. "platform/qt") is a link to its
# source folder. A library therefore sees the headers of itself and of the
# libraries it links, and an include that points the wrong way fails to
# build.
function(treetri_library name folder)
  add_library(${name} ${ARGN})
  set(root ${CMAKE_BINARY_DIR}/include/${name})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT EXISTS ${root}/${folder})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${folder} SYMBOLIC)
  endif()
  target_include_directories(${name} PUBLIC ${root})
endfunction()
