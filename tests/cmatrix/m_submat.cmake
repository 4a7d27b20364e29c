# test_m_submat reads the error codes through the library's internal error hook.
kvelo_add_test(test_m_submat SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_m_submat.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_m_submat.cpp)
