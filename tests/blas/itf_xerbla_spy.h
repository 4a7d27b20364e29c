/* itf_xerbla_spy.h: a test binary's own XERBLA. Linking itf_xerbla_spy.cpp into a test puts
 * this handler in front of the dependency's, so a test can read the routine name, INFO and
 * hidden length that an argument error produced, and nothing gets printed. */
#ifndef KVELO_TEST_ITF_XERBLA_SPY_H
#define KVELO_TEST_ITF_XERBLA_SPY_H

#include <cstddef>
#include <string>

struct XerblaSpy {
    int calls = 0;
    std::string name;       // the LEN characters handed over
    std::string trimmed;    // the name without trailing blanks and NULs
    int info = 0;
    std::size_t len = 0;
};

/* The last report, and a reset before a call under test. */
XerblaSpy& xerbla_spy();
void xerbla_spy_reset();

#endif
