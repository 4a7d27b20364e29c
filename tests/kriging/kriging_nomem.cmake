# A model short of memory: the replaced operator new of failing_new.cpp, and the library heap's
# internal block ceiling, which only the static library reaches.
kvelo_add_test(test_Kriging_nomem SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_Kriging_nomem.cpp
               ${PROJECT_SOURCE_DIR}/tests/runtime/failing_new.cpp INTERNAL)
target_include_directories(test_Kriging_nomem PRIVATE ${PROJECT_SOURCE_DIR}/tests/runtime)
list(APPEND KVELO_CUSTOM_TESTS test_Kriging_nomem.cpp)
