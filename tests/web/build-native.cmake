# Builds the native programs and the benchmark generator for the web tests,
# with the machine's own compiler, in a build folder of their own:
#   cmake -DSOURCE_DIR=... -DBINARY_DIR=... -P build-native.cmake
foreach(variable SOURCE_DIR BINARY_DIR)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()
# A compiler chosen for the web build must not leak into this one.
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env --unset=CC --unset=CXX
          ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${BINARY_DIR} -DCMAKE_BUILD_TYPE=Release -DMIDI2VARN_TESTS=OFF
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "configuring the native build failed")
endif()
execute_process(
  COMMAND ${CMAKE_COMMAND} --build ${BINARY_DIR} --target midi2varn varn2midi make_bench_midi --parallel 2
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "building the native program failed")
endif()
