# The work space: its test sets the library heap's internal ceiling (an internal symbol) to make
# in-core areas that cannot be had, whatever allocator the build uses.
kvelo_add_test(test_C_WorkSpace SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_C_WorkSpace.cpp
               ${CMAKE_CURRENT_LIST_DIR}/failing_new.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_C_WorkSpace.cpp)
