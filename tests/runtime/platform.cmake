# The platform layer is internal: its test links the static library.
kvelo_add_test(test_platform SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_platform.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_platform.cpp)
