# test_zmemory_nomem makes the sanitizer's allocator refuse large blocks (its own options
# replace the suite's, with the same leak and error settings).
kvelo_add_test(test_zmemory_nomem SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_zmemory_nomem.cpp
               INTERNAL ENV
               "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1:max_allocation_size_mb=256")
list(APPEND KVELO_CUSTOM_TESTS test_zmemory_nomem.cpp)
