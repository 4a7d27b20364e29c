# test_C_Vec_heap sets a ceiling on the library's heap blocks through the library's internals.
kvelo_add_test(test_C_Vec_heap SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_C_Vec_heap.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_C_Vec_heap.cpp)
