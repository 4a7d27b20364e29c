# The bit-vector tests read error codes through the library's internal error hook.
foreach(_t test_lmb test_lmb_set)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_t}.cpp)
    kvelo_add_test(${_t} SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/${_t}.cpp INTERNAL)
    list(APPEND KVELO_CUSTOM_TESTS ${_t}.cpp)
  endif()
endforeach()
