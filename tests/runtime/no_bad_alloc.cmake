# Every public operation short of memory: the test replaces the global operator new
# (failing_new.cpp) and reaches the runtime's internal headers, so it links the static library.
kvelo_add_test(test_no_bad_alloc SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_no_bad_alloc.cpp
               ${CMAKE_CURRENT_LIST_DIR}/failing_new.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_no_bad_alloc.cpp)
