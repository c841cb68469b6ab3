# Installs the build tree into a fresh prefix and builds a small C host against it through the CMake
# package (vesk::vesk), through pkg-config, and against the static archive, then runs each. The
# installed tool runs from its prefix alone; a host that runs out of memory gets the same report
# and stop from the static archive as from the shared library; and hosts that call the library
# while their process exits, or from a constructor that runs before the library's own, work with
# either library.
# Variables: BUILD_DIR, SOURCE_DIR (this folder), WORK_DIR, LIBDIR, INCLUDEDIR, C_COMPILER, CXX_COMPILER,
# GENERATOR, RUN_CHECKED (cmake/run_checked.cmake).
include(${RUN_CHECKED})

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
run("cmake --install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

foreach(f ${INCLUDEDIR}/vesk.h ${INCLUDEDIR}/vesk.hpp ${LIBDIR}/libvesk.so.0 ${LIBDIR}/libvesk.a ${LIBDIR}/pkgconfig/vesk.pc
          ${LIBDIR}/cmake/vesk/veskConfig.cmake ${LIBDIR}/cmake/vesk/veskConfigVersion.cmake)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()

# The installed tool finds its library relative to itself.
run("the installed vesk" ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${prefix}/bin/vesk --version)
message(STATUS "installed vesk: ${last_output}")

# CMake package.
run("configure the CMake consumers" ${CMAKE_COMMAND} -S ${SOURCE_DIR}/consumer -B ${WORK_DIR}/cmake-consumer
    -G ${GENERATOR} -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_PREFIX_PATH=${prefix})
run("build the CMake consumers" ${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-consumer)
run("run the CMake consumer" ${WORK_DIR}/cmake-consumer/consumer)
message(STATUS "find_package(vesk): ${last_output}")
run("run the CMake C++ consumer" ${WORK_DIR}/cmake-consumer/consumer_cpp)
message(STATUS "find_package(vesk), C++: ${last_output}")

# pkg-config, looking only at the installed prefix.
set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
set(ENV{PKG_CONFIG_LIBDIR} ${prefix}/${LIBDIR}/pkgconfig)
run("pkg-config" pkg-config --cflags --libs vesk)
string(STRIP "${last_output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
if(NOT flags MATCHES "-I${prefix}/${INCLUDEDIR}" OR NOT flags MATCHES "-L${prefix}/${LIBDIR}")
  message(FATAL_ERROR "vesk.pc does not point into the install prefix: ${flags}")
endif()
run("build the pkg-config consumer" ${C_COMPILER} ${SOURCE_DIR}/consumer/consumer.c ${flags}
    -Wl,-rpath,${prefix}/${LIBDIR} -o ${WORK_DIR}/pc-consumer)
run("run the pkg-config consumer" ${WORK_DIR}/pc-consumer)
message(STATUS "pkg-config vesk: ${last_output}")
run("build the pkg-config C++ consumer" ${CXX_COMPILER} -std=c++17 ${SOURCE_DIR}/consumer/consumer_cpp.cpp ${flags}
    -Wl,-rpath,${prefix}/${LIBDIR} -o ${WORK_DIR}/pc-consumer-cpp)
run("run the pkg-config C++ consumer" ${WORK_DIR}/pc-consumer-cpp)
message(STATUS "pkg-config vesk, C++: ${last_output}")

# The static archive, with the private dependencies vesk.pc lists.
run("pkg-config --static" pkg-config --libs-only-other --libs-only-l --static vesk)
string(REPLACE "-lvesk" "" private_libs "${last_output}")
separate_arguments(private_libs UNIX_COMMAND "${private_libs}")
run("build the static consumer" ${C_COMPILER} ${SOURCE_DIR}/consumer/consumer.c -I${prefix}/${INCLUDEDIR}
    ${prefix}/${LIBDIR}/libvesk.a ${private_libs} -o ${WORK_DIR}/static-consumer)
run("run the static consumer" ${WORK_DIR}/static-consumer)
message(STATUS "libvesk.a: ${last_output}")

# Exhausted memory: the same report and the same stop from both libraries, for the library's own
# C++ allocations and for libcrypto's.
run("build the out-of-memory host (shared)" ${C_COMPILER} ${SOURCE_DIR}/consumer/out_of_memory.c ${flags}
    -Wl,-rpath,${prefix}/${LIBDIR} -o ${WORK_DIR}/oom-shared)
run("build the out-of-memory host (static)" ${C_COMPILER} ${SOURCE_DIR}/consumer/out_of_memory.c
    -I${prefix}/${INCLUDEDIR} ${prefix}/${LIBDIR}/libvesk.a ${private_libs} -o ${WORK_DIR}/oom-static)
foreach(case cxx crypto)
  foreach(kind shared static)
    execute_process(COMMAND ${WORK_DIR}/oom-${kind} ${case}
      RESULT_VARIABLE rc_${kind} OUTPUT_VARIABLE out_${kind} ERROR_VARIABLE err_${kind})
    if(rc_${kind} EQUAL 0 OR NOT out_${kind} STREQUAL ""
       OR NOT err_${kind} MATCHES "^memory allocation of [1-9][0-9]* bytes failed\n$")
      message(FATAL_ERROR "out of memory (${case}, ${kind}): exit ${rc_${kind}}, output '${out_${kind}}', "
                          "report '${err_${kind}}'")
    endif()
  endforeach()
  if(NOT rc_shared STREQUAL rc_static OR NOT err_shared STREQUAL err_static)
    message(FATAL_ERROR "out of memory (${case}): the static archive ends with ${rc_static} and '${err_static}', "
                        "the shared library with ${rc_shared} and '${err_shared}'")
  endif()
  string(STRIP "${err_shared}" report)
  message(STATUS "out of memory (${case}): ${report} (${rc_shared}) from both")
endforeach()

# The process's edges: calls at exit (an exit handler, threads still at work), and calls from a
# host constructor that runs before anything of the library's own.
foreach(host exit_host early_constructor)
  run("build ${host} (shared)" ${C_COMPILER} ${SOURCE_DIR}/consumer/${host}.c ${flags} -pthread
      -Wl,-rpath,${prefix}/${LIBDIR} -o ${WORK_DIR}/${host}-shared)
  run("build ${host} (static)" ${C_COMPILER} ${SOURCE_DIR}/consumer/${host}.c -I${prefix}/${INCLUDEDIR} -pthread
      ${prefix}/${LIBDIR}/libvesk.a ${private_libs} -o ${WORK_DIR}/${host}-static)
  foreach(kind shared static)
    run("${host} (${kind})" ${WORK_DIR}/${host}-${kind})
    string(STRIP "${last_output}" said)
    message(STATUS "${host} (${kind}): ${said}")
  endforeach()
endforeach()
