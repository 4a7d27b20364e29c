/* rfp_lapack.h: the LAPACK routines on rectangular full packed storage that the Kriging model
 * calls internally (not exported): the Fortran interface with 32-bit integers, arguments by
 * address and one size_t hidden length per CHARACTER argument after the last argument. */
#ifndef KVELO_KRIGING_RFP_LAPACK_H
#define KVELO_KRIGING_RFP_LAPACK_H

#include <cstddef>

extern "C" {
void dtpttf_(const char*, const char*, const int*, const double*, double*, int*, std::size_t, std::size_t);
void dtfttp_(const char*, const char*, const int*, const double*, double*, int*, std::size_t, std::size_t);
void dpftrf_(const char*, const char*, const int*, double*, int*, std::size_t, std::size_t);
void dtftri_(const char*, const char*, const char*, const int*, double*, int*, std::size_t, std::size_t, std::size_t);
void dtfsm_(const char*, const char*, const char*, const char*, const char*, const int*, const int*, const double*, const double*, double*, const int*, std::size_t, std::size_t, std::size_t, std::size_t, std::size_t);
}

#endif
