# Out-of-core units: the tests read the code of each reported error (internal hook).
kvelo_add_test(test_kvelomem_ooc SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_kvelomem_ooc.cpp
               ${CMAKE_CURRENT_SOURCE_DIR}/failing_new.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_kvelomem_ooc.cpp)
