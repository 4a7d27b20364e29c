# Message tools read KVELO_VERBOSITY and KVELO_DEBUG_SCOPES when they are created.
kvelo_add_test(test_C_MessageTool_env_plain SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_C_MessageTool_env.cpp
               ENV "KVELO_TEST_LEVEL=0" "KVELO_TEST_SCOPES=")
kvelo_add_test(test_C_MessageTool_env_verbosity SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_C_MessageTool_env.cpp
               ENV "KVELO_VERBOSITY=3" "KVELO_TEST_LEVEL=3" "KVELO_TEST_SCOPES=")
kvelo_add_test(test_C_MessageTool_env_badverbosity SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_C_MessageTool_env.cpp
               ENV "KVELO_VERBOSITY=abc" "KVELO_TEST_LEVEL=0" "KVELO_TEST_SCOPES=")
# A number beyond int is no level (it was wrapped into one before).
kvelo_add_test(test_C_MessageTool_env_hugeverbosity SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_C_MessageTool_env.cpp
               ENV "KVELO_VERBOSITY=4294967299" "KVELO_TEST_LEVEL=0" "KVELO_TEST_SCOPES=")
kvelo_add_test(test_C_MessageTool_env_scopes SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_C_MessageTool_env.cpp
               ENV "KVELO_TEST_LEVEL=5")
kvelo_add_test(test_C_MessageTool_env_emptyscopes SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_C_MessageTool_env.cpp
               ENV "KVELO_TEST_LEVEL=0")
# A ';' inside a value must reach CTest escaped: set these environments directly.
set_tests_properties(test_C_MessageTool_env_scopes PROPERTIES ENVIRONMENT
  "OPENBLAS_NUM_THREADS=1;KVELO_DEBUG_SCOPES=452\\;306;KVELO_VERBOSITY=5;KVELO_TEST_LEVEL=5;KVELO_TEST_SCOPES=452,306")
set_tests_properties(test_C_MessageTool_env_emptyscopes PROPERTIES ENVIRONMENT
  "OPENBLAS_NUM_THREADS=1;KVELO_DEBUG_SCOPES=\\;\\;;KVELO_TEST_LEVEL=0;KVELO_TEST_SCOPES=")
# Items that are no number are skipped: not activated, not listed; a number followed by other
# text is read as atoi reads it. With no number at all there is no activation line.
add_test(NAME test_C_MessageTool_env_wordscopes COMMAND test_C_MessageTool_env_plain
         WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
set_tests_properties(test_C_MessageTool_env_wordscopes PROPERTIES ENVIRONMENT
  "OPENBLAS_NUM_THREADS=1;KVELO_DEBUG_SCOPES=abc\\;7\\; x9\\;12abc\\; 0;KVELO_TEST_LEVEL=0;KVELO_TEST_SCOPES=7,12,0")
add_test(NAME test_C_MessageTool_env_noscopenumber COMMAND test_C_MessageTool_env_plain
         WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
set_tests_properties(test_C_MessageTool_env_noscopenumber PROPERTIES ENVIRONMENT
  "OPENBLAS_NUM_THREADS=1;KVELO_DEBUG_SCOPES=abc\\;99999999999\\;-;KVELO_TEST_LEVEL=0;KVELO_TEST_SCOPES=")
list(APPEND KVELO_CUSTOM_TESTS test_C_MessageTool_env.cpp)
