# Removes the linker directive section (.drectve) from object files, so that
# the compiler's export directives do not reach the link and the
# module-definition file alone decides the DLL's export table.
# Usage: cmake -DOBJCOPY=... -DOBJECTS="a.obj;b.obj" -P strip_export_directives.cmake
foreach(object IN LISTS OBJECTS)
  execute_process(COMMAND ${OBJCOPY} --remove-section .drectve ${object} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${OBJCOPY} failed on ${object}")
  endif()
endforeach()
