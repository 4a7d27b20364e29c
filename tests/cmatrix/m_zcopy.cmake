# test_m_zcopy reads the error codes through the library's internal error hook.
kvelo_add_test(test_m_zcopy SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_m_zcopy.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_m_zcopy.cpp)
