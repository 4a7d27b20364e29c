# The work space: the sanitizer's allocator refuses blocks above 16 MB and returns null
# instead of aborting, so that an in-core area that cannot be had is an exact, cheap case.
kvelo_add_test(test_C_WorkSpace SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_C_WorkSpace.cpp
  ENV "ASAN_OPTIONS=allocator_may_return_null=1:max_allocation_size_mb=16:detect_leaks=1")
list(APPEND KVELO_CUSTOM_TESTS test_C_WorkSpace.cpp)
