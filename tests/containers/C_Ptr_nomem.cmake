# The out-of-memory paths of the vector storage: the sanitizer's allocator is told to refuse
# blocks above 256 MB and to return null instead of aborting, so every refusal is exact.
kvelo_add_test(test_C_Ptr_nomem SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_C_Ptr_nomem.cpp
  ENV "ASAN_OPTIONS=allocator_may_return_null=1:max_allocation_size_mb=256:detect_leaks=1")
list(APPEND KVELO_CUSTOM_TESTS test_C_Ptr_nomem.cpp)
