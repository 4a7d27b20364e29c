# The platform layer is internal: its test links the static library, and runs short of memory
# through the replaced operator new of failing_new.cpp.
kvelo_add_test(test_platform SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_platform.cpp
               ${CMAKE_CURRENT_SOURCE_DIR}/failing_new.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_platform.cpp)
