# Messages and exceptions when memory runs out: the test replaces the global operator new
# (failing_new.cpp) and sets the library heap's internal block ceiling, so it links the
# static library.
kvelo_add_test(test_C_KveloMessage_nomem SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_C_KveloMessage_nomem.cpp
               ${CMAKE_CURRENT_LIST_DIR}/failing_new.cpp INTERNAL)
list(APPEND KVELO_CUSTOM_TESTS test_C_KveloMessage_nomem.cpp)
