# test_C_Vec_pieces lowers the piece length of long vectors through the library's internals.
kvelo_add_test(test_C_Vec_pieces SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_C_Vec_pieces.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_C_Vec_pieces.cpp)
