# Writes kvxctl's manual page with its KEYS section filled in from the
# program itself (kvxctl help --format=json keys), so that the page lists the
# keys of the field table and nothing else.
#
#   cmake -DKVXCTL=<kvxctl> -DIN=<configured page> -DOUT=<page> -P man_keys.cmake

execute_process(COMMAND ${KVXCTL} help --format=json keys OUTPUT_VARIABLE json RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${KVXCTL} help --format=json keys failed (${rc})")
endif()

# Text for roff: backslashes and minus signs escaped, line ends as blanks.
function(roff_text text out)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REPLACE "\n" " " text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

string(JSON count LENGTH "${json}" keys)
math(EXPR last "${count} - 1")
set(section "")
foreach(i RANGE ${last})
  string(JSON key GET "${json}" keys ${i} key)
  string(JSON values GET "${json}" keys ${i} values)
  string(JSON read_only GET "${json}" keys ${i} read_only)
  roff_text("${values}" values)
  if(read_only)
    set(values "read-only (get only): ${values}")
  endif()
  string(APPEND section ".TP\n.B ${key}\n${values}\n")
endforeach()

file(READ ${IN} page)
set(marker ".\\\" KEYS: filled in by the build from kvxctl help --format=json keys\n")
string(FIND "${page}" "${marker}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${IN} has no KEYS marker")
endif()
string(REPLACE "${marker}" "${section}" page "${page}")
file(WRITE ${OUT} "${page}")
