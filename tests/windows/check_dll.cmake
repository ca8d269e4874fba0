# Checks the built DLL's headers: the export table is exactly the twelve
# names at their ordinals, the ENV_LIST section is shared, and the only
# imports are system DLLs.
# Usage: cmake -DOBJDUMP=... -DDLL=... -P check_dll.cmake
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE headers RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${DLL} failed")
endif()
execute_process(COMMAND ${OBJDUMP} -h ${DLL} OUTPUT_VARIABLE sections)

set(expected
  _zekalg_create_environment@16 _zekalg_kill_environment@4 _zekalg_list_capabilities@4
  _zekalg_seed_environment@4 _zekalg_solve_var16@16 _zekalg_solve_var@16
  zekalg_create_environment zekalg_kill_environment zekalg_list_capabilities
  zekalg_seed_environment zekalg_solve_var zekalg_solve_var16)
set(problems "")

if(NOT headers MATCHES "Ordinal Base[ \t]+1\n")
  string(APPEND problems "the ordinal base is not 1\n")
endif()

# The name table lists "[index] name" with index = ordinal - base, sorted by
# name; the ordinals were chosen so that both orders agree.
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n([^\n]+\n)*" table "${headers}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" rows "${table}")
set(index 0)
foreach(name IN LISTS expected)
  list(LENGTH rows count)
  if(index LESS count)
    list(GET rows ${index} row)
  else()
    set(row "(missing)")
  endif()
  if(NOT row MATCHES "^\\[ *${index}\\] ${name}$")
    math(EXPR ordinal "${index} + 1")
    string(APPEND problems "ordinal ${ordinal}: expected ${name}, found ${row}\n")
  endif()
  math(EXPR index "${index} + 1")
endforeach()
list(LENGTH rows count)
if(NOT count EQUAL 12)
  string(APPEND problems "${count} exported names instead of 12\n")
endif()

if(NOT sections MATCHES "ENV_LIST[^\n]*\n[^\n]*SHARED")
  string(APPEND problems "no shared ENV_LIST section\n")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
foreach(import IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${import}")
  string(TOLOWER "${dll}" dll)
  if(NOT dll MATCHES "^(kernel32|msvcrt|ntdll|user32|advapi32)\\.dll$")
    string(APPEND problems "imports ${dll}, which is not a system DLL\n")
  endif()
endforeach()

if(problems)
  message(FATAL_ERROR "${DLL}:\n${problems}")
endif()
list(JOIN imports ", " shown)
message(STATUS "12 exports at ordinals 1-12, shared ENV_LIST, imports: ${shown}")
