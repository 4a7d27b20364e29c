# Tests of the BLAS/LAPACK entry points that need more than the plain one-file glob.
set(_itf ${CMAKE_CURRENT_SOURCE_DIR})

# Their own XERBLA sees argument errors; the convention test also calls OpenBLAS's ILAENV
# directly and carries a C translation unit that includes the header as C.
kvelo_add_test(test_itf_convention
  SOURCES ${_itf}/test_itf_convention.cpp ${_itf}/itf_xerbla_spy.cpp ${_itf}/itf_header_c.c
  LIBS ${KVELO_OPENBLAS})
kvelo_add_test(test_itf_kernels SOURCES ${_itf}/test_itf_kernels.cpp ${_itf}/itf_xerbla_spy.cpp)

# The exported symbol set against the table, and the forwarded routines against OpenBLAS.
kvelo_add_test(test_itf_symbols SOURCES ${_itf}/test_itf_symbols.cpp LIBS ${CMAKE_DL_LIBS})
target_compile_definitions(test_itf_symbols PRIVATE
  KVELO_LIB_FILE="$<TARGET_FILE:kvelo>"
  ITF_TABLE_FILE="${PROJECT_SOURCE_DIR}/tools/blas/itf_table.txt"
  KVELO_OPENBLAS_FILE="${KVELO_OPENBLAS}")

# A sample of the forwarders against the same routines called through their Fortran interface.
kvelo_add_test(test_itf_table SOURCES ${_itf}/test_itf_table.cpp LIBS ${KVELO_OPENBLAS})

list(APPEND KVELO_CUSTOM_TESTS test_itf_convention.cpp test_itf_kernels.cpp test_itf_symbols.cpp
     test_itf_table.cpp)

# The generated header, forwarders and prototypes are committed: they must be what the
# table gives today.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  add_test(NAME itf_generated_up_to_date
           COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/tools/blas/gen_itf.py --check)
endif()

# Where the LAPACK C declarations are installed, the compiler checks every forwarded call
# against them (built with the tests, never linked).
find_file(KVELO_LAPACK_H lapack.h)
if(KVELO_LAPACK_H)
  get_filename_component(_lapackh_dir ${KVELO_LAPACK_H} DIRECTORY)
  add_library(itf_lapackh_check OBJECT ${_itf}/itf_lapackh_check.cpp)
  target_include_directories(itf_lapackh_check PRIVATE ${PROJECT_SOURCE_DIR}/include)
  target_include_directories(itf_lapackh_check SYSTEM PRIVATE ${_lapackh_dir})
endif()
