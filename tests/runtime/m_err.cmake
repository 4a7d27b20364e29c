# The C matrix library's error handler, with read access to its kept records (internal).
kvelo_add_test(test_m_err SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_m_err.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_m_err.cpp)
