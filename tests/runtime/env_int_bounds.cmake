# The environment settings read as ints, at the ends of int: 2147483647 and -2147483648 are the
# last values taken, one beyond either end is no number and counts as 0 (never a wrapped value).
# One program per setting, run once per value (the settings are read when a tool is created or
# when the library loads).

# KVELO_VERBOSITY: the level given to the streams of every new message tool.
kvelo_add_test(test_env_int_verbosity SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_C_MessageTool_env.cpp
               ENV "KVELO_VERBOSITY=2147483647" "KVELO_TEST_LEVEL=2147483647" "KVELO_TEST_SCOPES=")
foreach(_case "2147483648|0" "-2147483648|-2147483648" "-2147483649|0")
  string(REPLACE "|" ";" _pair "${_case}")
  list(GET _pair 0 _value)
  list(GET _pair 1 _level)
  string(REPLACE "-" "minus" _suffix "${_value}")
  add_test(NAME test_env_int_verbosity_${_suffix} COMMAND test_env_int_verbosity
           WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(test_env_int_verbosity_${_suffix} PROPERTIES ENVIRONMENT
    "OPENBLAS_NUM_THREADS=1;KVELO_VERBOSITY=${_value};KVELO_TEST_LEVEL=${_level};KVELO_TEST_SCOPES=")
endforeach()

# KVELO_DEBUG_SCOPES: each ';'-separated item; an item beyond int names no scope: it is skipped,
# neither activated nor listed in the activation line.
add_test(NAME test_env_int_scopes COMMAND test_env_int_verbosity WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
set_tests_properties(test_env_int_scopes PROPERTIES ENVIRONMENT
  "OPENBLAS_NUM_THREADS=1;KVELO_DEBUG_SCOPES=2147483647\\;-2147483648\\;2147483648\\;-2147483649;KVELO_TEST_LEVEL=0;KVELO_TEST_SCOPES=2147483647,-2147483648")

# USE_TIMEMANAGER: above 1 profiling with the call graph; 0 or less (and no number) none.
kvelo_add_test(test_env_int_timemanager SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_C_TimeManager_env.cpp
               ENV "USE_TIMEMANAGER=2147483647" "KVELO_TEST_EXPECT=graph")
foreach(_value "2147483648" "-2147483648" "-2147483649")
  string(REPLACE "-" "minus" _suffix "${_value}")
  add_test(NAME test_env_int_timemanager_${_suffix} COMMAND test_env_int_timemanager
           WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(test_env_int_timemanager_${_suffix} PROPERTIES ENVIRONMENT
    "OPENBLAS_NUM_THREADS=1;USE_TIMEMANAGER=${_value};KVELO_TEST_EXPECT=none")
endforeach()
