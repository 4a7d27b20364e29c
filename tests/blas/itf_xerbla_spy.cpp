/* itf_xerbla_spy.cpp: the test binary's XERBLA (see itf_xerbla_spy.h). Reads exactly the
 * hidden length's worth of characters, as a Fortran handler does. */
#include "itf_xerbla_spy.h"

namespace {
XerblaSpy g_spy;
}

XerblaSpy& xerbla_spy() { return g_spy; }

void xerbla_spy_reset() { g_spy = XerblaSpy(); }

extern "C" void xerbla_(const char* srname, const int* info, std::size_t len)
{
    ++g_spy.calls;
    g_spy.name.assign(srname, len);
    std::string t = g_spy.name;
    while (!t.empty() && (t.back() == ' ' || t.back() == '\0'))
        t.pop_back();
    g_spy.trimmed = t;
    g_spy.info = *info;
    g_spy.len = len;
}
