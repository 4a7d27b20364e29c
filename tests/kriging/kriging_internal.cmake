# The tests of the Kriging model's internal classes (the RFP triangle, the correlation kernels,
# the rank test and its LAPACK margins) link the static library, which reaches them.
foreach(_t test_Kriging_rfp test_Kriging_kernels test_Kriging_margins)
  kvelo_add_test(${_t} SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/${_t}.cpp INTERNAL)
  list(APPEND KVELO_CUSTOM_TESTS ${_t}.cpp)
endforeach()
# In a plain build (valgrind cannot run sanitized code) the margins test runs once more under
# valgrind, which fails it on any read outside memory the library owns.
find_program(KVELO_VALGRIND valgrind)
if(KVELO_VALGRIND AND NOT KVELO_SANITIZE)
  add_test(NAME test_Kriging_margins_valgrind
           COMMAND ${KVELO_VALGRIND} --error-exitcode=1 --leak-check=no
                   $<TARGET_FILE:test_Kriging_margins>)
  set_tests_properties(test_Kriging_margins_valgrind PROPERTIES ENVIRONMENT "OPENBLAS_NUM_THREADS=1")
endif()
