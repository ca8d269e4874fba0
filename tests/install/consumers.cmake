# Installs BUILD_DIR into WORK_DIR/prefix, then builds and runs the consumers
# (the engine's and the tools') once through find_package and once through
# pkg-config.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " shown "${ARGN}")
    message(FATAL_ERROR "failed (${rc}): ${shown}\n${out}\n${err}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
endfunction()

function(expect_ok program)
  run(${program})
  if(NOT run_output STREQUAL "ok\n")
    message(FATAL_ERROR "${program} printed: ${run_output}")
  endif()
endfunction()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

foreach(f include/zekalg/zekalg.h include/zekalg/zekalg.hpp include/zekalg/tools.h)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
foreach(pc zekalg zekalg-tools)
  file(GLOB_RECURSE pc_files ${prefix}/*/${pc}.pc)
  list(LENGTH pc_files pc_count)
  if(NOT pc_count EQUAL 1)
    message(FATAL_ERROR "expected one ${pc}.pc, found: ${pc_files}")
  endif()
  get_filename_component(pc_dir ${pc_files} DIRECTORY)
endforeach()

# 1. CMake package.
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/cmake-build
    -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
    "-DCMAKE_C_FLAGS=${C_FLAGS}" "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
    "-DCMAKE_EXE_LINKER_FLAGS=${LINK_FLAGS}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-build)
expect_ok(${WORK_DIR}/cmake-build/consumer_c)
expect_ok(${WORK_DIR}/cmake-build/consumer_cpp)
expect_ok(${WORK_DIR}/cmake-build/consumer_tools)

# 2. pkg-config. Its flags carry the run path: the programs find the
# library where it was installed, with no LD_LIBRARY_PATH.
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
function(pkg_flags module var)
  run(pkg-config --cflags --libs ${module})
  string(STRIP "${run_output}" flags)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  set(${var} ${flags} PARENT_SCOPE)
endfunction()
pkg_flags(zekalg flags)
pkg_flags(zekalg-tools tools_flags)
separate_arguments(c_flags UNIX_COMMAND "${C_FLAGS}")
separate_arguments(cxx_flags UNIX_COMMAND "${CXX_FLAGS}")
separate_arguments(link_flags UNIX_COMMAND "${LINK_FLAGS}")
run(${C_COMPILER} -std=c99 -Wall -Wextra -Wpedantic -Werror ${c_flags}
    ${CONSUMER_DIR}/consumer.c -o ${WORK_DIR}/pc_consumer_c ${link_flags} ${flags})
run(${CXX_COMPILER} -std=c++17 -Wall -Wextra -Wpedantic -Werror ${cxx_flags}
    ${CONSUMER_DIR}/consumer.cpp -o ${WORK_DIR}/pc_consumer_cpp ${link_flags} ${flags})
run(${C_COMPILER} -std=c99 -Wall -Wextra -Wpedantic -Werror ${c_flags}
    ${CONSUMER_DIR}/consumer_tools.c -o ${WORK_DIR}/pc_consumer_tools ${link_flags} ${tools_flags})
expect_ok(${WORK_DIR}/pc_consumer_c)
expect_ok(${WORK_DIR}/pc_consumer_cpp)
expect_ok(${WORK_DIR}/pc_consumer_tools)
