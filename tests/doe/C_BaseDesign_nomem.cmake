# A design short of memory: the replaced operator new of failing_new.cpp, and the library heap's
# internal count of blocks, which only the static library reaches.
kvelo_add_test(test_C_BaseDesign_nomem
               SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_C_BaseDesign_nomem.cpp
               ${PROJECT_SOURCE_DIR}/tests/runtime/failing_new.cpp INTERNAL)
target_include_directories(test_C_BaseDesign_nomem PRIVATE ${PROJECT_SOURCE_DIR}/tests/runtime)
list(APPEND KVELO_CUSTOM_TESTS test_C_BaseDesign_nomem.cpp)
