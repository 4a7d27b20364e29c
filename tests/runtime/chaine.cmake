# The text utilities: their test also runs the path parts, the free name and the keyword
# readers short of memory (the replaced operator new, and the library heap's internal ceiling).
kvelo_add_test(test_chaine SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_chaine.cpp
               ${CMAKE_CURRENT_LIST_DIR}/failing_new.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_chaine.cpp)
