# The structured-vector and wrapper tests read error codes through the library's internal
# error hook.
# test_vstruct_wrap also compiles a C host of the headers (vstruct_headers_c.c).
kvelo_add_test(test_vstruct SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_vstruct.cpp INTERNAL)
kvelo_add_test(test_vstruct_wrap SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_vstruct_wrap.cpp
               ${CMAKE_CURRENT_SOURCE_DIR}/vstruct_headers_c.c INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_vstruct.cpp test_vstruct_wrap.cpp)
