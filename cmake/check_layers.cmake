# Fails when a source file includes a header against the flow of data
#   base <- source <- collect <- {measure, rules} <- report <- cli
# (measure and rules both sit on collect and never include each other), or
# when the files of one folder include each other in a loop. Every include
# form counts: quotes or angle brackets, blanks before or after the "#", and
# relative names ("../rules/x.h") resolved against the including file's
# folder. Run by the build before anything compiles:
#   cmake -DSRC=<src dir> -P check_layers.cmake
cmake_minimum_required(VERSION 3.16)

# The folders each folder may include besides its own.
set(may_base "")
set(may_source base)
set(may_collect base source)
set(may_measure base source collect)
set(may_rules base source collect)
set(may_report base source collect measure rules)
set(may_cli base source collect measure rules report)
set(LAYERS base source collect measure rules report cli)

get_filename_component(SRC "${SRC}" ABSOLUTE)
set(include_re "^[ \t]*#[ \t]*include[ \t]*([<\"])([^>\"]+)[>\"]")

# The file an include names, relative to SRC ("rules/finding.h"); empty when
# it lies outside SRC. Quoted names are looked up beside the including file
# first, as the compiler does; "./" and "../" names only there.
function(resolve_include dir delim name out)
  if(name MATCHES "^\\.\\.?/")
    get_filename_component(path "${dir}/${name}" ABSOLUTE)
  elseif(delim STREQUAL "\"" AND EXISTS "${dir}/${name}")
    get_filename_component(path "${dir}/${name}" ABSOLUTE)
  else()
    get_filename_component(path "${SRC}/${name}" ABSOLUTE)
  endif()
  file(RELATIVE_PATH rel "${SRC}" "${path}")
  if(rel MATCHES "^\\.\\./")
    set(rel "")
  endif()
  set(${out} "${rel}" PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE files "${SRC}/*.h" "${SRC}/*.cpp")
set(bad "")
set(modules "")
foreach(f ${files})
  file(RELATIVE_PATH rel "${SRC}" "${f}")
  string(REGEX MATCH "^[^/]+" own "${rel}")
  if(NOT own IN_LIST LAYERS)
    continue()
  endif()
  string(REGEX REPLACE "\\.[^./]*$" "" module "${rel}")
  list(APPEND modules "${module}")
  get_filename_component(dir "${f}" DIRECTORY)
  file(STRINGS "${f}" lines REGEX "${include_re}")
  foreach(line ${lines})
    string(REGEX MATCH "${include_re}" _ "${line}")
    resolve_include("${dir}" "${CMAKE_MATCH_1}" "${CMAKE_MATCH_2}" target)
    string(REGEX MATCH "^[^/]+" layer "${target}")
    string(REGEX REPLACE "\\.[^./]*$" "" target_module "${target}")
    if(layer STREQUAL own AND NOT target_module STREQUAL module)
      list(APPEND "uses_${module}" "${target_module}")
    elseif(layer IN_LIST LAYERS AND NOT layer STREQUAL own AND NOT layer IN_LIST may_${own})
      string(APPEND bad "  ${rel}: ${line}\n")
    endif()
  endforeach()
endforeach()
if(bad)
  message(FATAL_ERROR "includes against the flow "
    "base <- source <- collect <- {measure, rules} <- report <- cli:\n${bad}")
endif()

# Loops inside a folder: a module is a header and its .cpp ("source/bundle").
# Modules that include nothing still in the set are peeled off until none
# is left; whatever remains lies on or leads into a loop.
list(REMOVE_DUPLICATES modules)
set(left ${modules})
set(peeled TRUE)
while(peeled)
  set(peeled FALSE)
  foreach(m ${left})
    set(waits FALSE)
    foreach(u ${uses_${m}})
      if(u IN_LIST left)
        set(waits TRUE)
        break()
      endif()
    endforeach()
    if(NOT waits)
      list(REMOVE_ITEM left "${m}")
      set(peeled TRUE)
    endif()
  endforeach()
endwhile()
if(left)
  # Walk from a remaining module along remaining includes until a module
  # repeats: the walk from its first visit on is a loop.
  list(GET left 0 m)
  set(walk "")
  while(NOT m IN_LIST walk)
    list(APPEND walk "${m}")
    foreach(u ${uses_${m}})
      if(u IN_LIST left)
        set(m "${u}")
        break()
      endif()
    endforeach()
  endwhile()
  list(FIND walk "${m}" start)
  list(SUBLIST walk ${start} -1 loop)
  list(APPEND loop "${m}")
  string(REPLACE ";" " -> " loop "${loop}")
  message(FATAL_ERROR "include loop inside a folder: ${loop}")
endif()
