# The layer check refuses each form of a bad include and passes the real tree:
#   cmake -DCHECK=<check_layers.cmake> -DSRC=<src> -DWORK=<scratch> -P layer_check_test.cmake
# Each case is a tree of "file|line" entries and the text its failure names
# ("" when the check must pass).
function(check_tree name entries expected)
  set(root "${WORK}/${name}")
  file(REMOVE_RECURSE "${root}")
  foreach(entry ${entries})
    string(REPLACE "|" ";" parts "${entry}")
    list(GET parts 0 file)
    list(GET parts 1 line)
    file(APPEND "${root}/${file}" "${line}\n")
  endforeach()
  execute_process(COMMAND ${CMAKE_COMMAND} -DSRC=${root} -P ${CHECK}
                  RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET)
  string(REGEX REPLACE "[ \n]+" " " err "${err}")
  if(expected STREQUAL "" AND NOT rc EQUAL 0)
    message(SEND_ERROR "${name}: the check failed a sound tree: ${err}")
  elseif(NOT expected STREQUAL "" AND (rc EQUAL 0 OR NOT err MATCHES "${expected}"))
    message(SEND_ERROR "${name}: expected a failure naming '${expected}', got ${rc}: ${err}")
  endif()
endfunction()

check_tree(angle "collect/a.h|#include <report/diff.h>" "collect/a.h: #include <report/diff.h>")
check_tree(relative "collect/a.cpp|#include \"../rules/finding.h\""
           "collect/a.cpp: #include \"../rules/finding.h\"")
check_tree(indented "report/a.cpp|\t #  include \"cli/options.h\"" "report/a.cpp: .*cli/options.h")
check_tree(sideways "rules/a.cpp|#include \"measure/measure.h\"" "rules/a.cpp")
check_tree(loop "collect/a.h|#include \"b.h\";collect/b.h|#pragma once;collect/b.cpp|#include \"collect/a.h\""
           "include loop inside a folder: collect/a -> collect/b -> collect/a")
check_tree(sound "collect/a.cpp|#include <sys/stat.h>;collect/a.cpp|#include \"../source/s.h\";collect/b.h|#include \"collect/a.h\";rules/r.h|#include \"collect/b.h\""
           "")

execute_process(COMMAND ${CMAKE_COMMAND} -DSRC=${SRC} -P ${CHECK} RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(SEND_ERROR "the real tree fails the layer check:\n${err}")
endif()
