# The sparse-vector tests read error codes through the library's internal error hook and walk
# trees with the internal walker.
foreach(_t test_vmorse test_vmorse_packed test_vmorse_window)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_t}.cpp)
    kvelo_add_test(${_t} SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/${_t}.cpp INTERNAL)
    list(APPEND KVELO_CUSTOM_TESTS ${_t}.cpp)
  endif()
endforeach()
