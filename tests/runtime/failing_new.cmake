# Tests that run library code short of memory through the replaced operator new of
# failing_new.cpp and otherwise go through the exported interface.
foreach(_t test_C_Algorithm test_C_TimeManager_dump)
  kvelo_add_test(${_t} SOURCES ${CMAKE_CURRENT_LIST_DIR}/${_t}.cpp
                 ${CMAKE_CURRENT_LIST_DIR}/failing_new.cpp)
  list(APPEND KVELO_CUSTOM_TESTS ${_t}.cpp)
endforeach()
