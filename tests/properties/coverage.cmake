# The coverage check of the harnesses' KVELO_HOLDS lists against libkvelo.so's dynamic table.
kvelo_add_test(test_prop_coverage SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_prop_coverage.cpp)
target_compile_definitions(test_prop_coverage PRIVATE KVELO_LIB_FILE="$<TARGET_FILE:kvelo>"
                           KVELO_PROPS_DIR="${CMAKE_CURRENT_LIST_DIR}")
