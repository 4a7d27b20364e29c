# The matrices when the heap refuses a block: the test sets the library's internal ceiling on
# single blocks, so it links the static library.
kvelo_add_test(test_C_MatMGe_nomem SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_C_MatMGe_nomem.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_C_MatMGe_nomem.cpp)
