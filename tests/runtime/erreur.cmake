# The C reporting entry points: one program while the default tool is not initialized,
# one once it is (initializing cannot be undone within a process).
kvelo_add_test(test_erreur SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_erreur.cpp)
kvelo_add_test(test_erreur_init SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_erreur_init.cpp)
list(APPEND KVELO_CUSTOM_TESTS test_erreur.cpp test_erreur_init.cpp)
