#!/usr/bin/env python3
"""Generator of the ITF_* BLAS/LAPACK entry points from tools/blas/itf_table.txt.

Writes the public declarations (include/ITF_blas_lapack.h), the Fortran prototypes of the
dependency (src/blas/itf_fortran.h), the forwarders (src/blas/itf_forward.cpp) and a
translation unit that repeats every forwarded call against the declarations of the installed
<lapack.h> so that the compiler checks our argument lists (tests/blas/itf_lapackh_check.cpp).

Usage: gen_itf.py [--root DIR]           regenerate the files under DIR (default: repository)
       gen_itf.py [--root DIR] --check   compare instead of writing; exit 1 on any difference
"""
import argparse
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, '..', '..'))

# C/C++ spelling of the table's base types (the public header's typedefs).
CTYPE = {
    'char': 'char', 'int': 'int', 'logical': 'int', 'float': 'float', 'double': 'double',
    'cfloat': 'itf_complex', 'cdouble': 'itf_doublecomplex',
}
# Selection-function pointer types by eigenvalue element type.
SELTYPE = {
    'float': 'itf_select2_float', 'double': 'itf_select2_double',
    'cfloat': 'itf_select1_complex', 'cdouble': 'itf_select1_doublecomplex',
}
RESULT = {
    'void': 'void', 'int': 'int', 'logical': 'int', 'float': 'float', 'double': 'double',
    'cfloat': 'itf_complex', 'cdouble': 'itf_doublecomplex',
}
KINDS = {'ch', 'wch', 'in', 'out', 'arr', 'carr', 'sel', 'str'}
ENTRY_KINDS = {'fwd', 'own', 'xerbla', 'ilaenv'}


class Entry:
    def __init__(self, name, result, ek, params, lineno):
        self.name, self.result, self.ek, self.params, self.lineno = name, result, ek, params, lineno

    @property
    def nchar(self):
        return sum(1 for q in self.params if q[2] in ('ch', 'wch', 'str'))


def read_table(path):
    entries = []
    seen = set()
    with open(path) as f:
        for lineno, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith('#'):
                continue
            toks = line.split()
            name, result, ek = toks[0], toks[1], toks[2]
            if name in seen:
                raise SystemExit('%s:%d: duplicate entry %s' % (path, lineno, name))
            seen.add(name)
            if result not in RESULT or ek not in ENTRY_KINDS:
                raise SystemExit('%s:%d: bad result or entry kind' % (path, lineno))
            params = []
            for t in toks[3:]:
                pn, pt, pk = t.split(':')
                if pt not in CTYPE or pk not in KINDS:
                    raise SystemExit('%s:%d: bad parameter %s' % (path, lineno, t))
                params.append((pn, pt, pk))
            entries.append(Entry(name, result, ek, params, lineno))
    return entries


def cname(pn):
    # Parameter names in lower case: upper-case single letters are too likely host macros.
    return pn.lower()


def param_decl(q):
    pn, pt, pk = q
    n = cname(pn)
    c = CTYPE[pt]
    if pk == 'ch' or pk == 'str':
        return 'const char* ' + n
    if pk == 'wch':
        return 'char* ' + n
    if pk == 'in':
        return '%s %s' % (c, n)
    if pk in ('out', 'arr'):
        return '%s* %s' % (c, n)
    if pk == 'carr':
        return 'const %s* %s' % (c, n)
    if pk == 'sel':
        return '%s %s' % (SELTYPE[pt], n)
    raise AssertionError(pk)


def fortran_param(q):
    """Type of the argument as the Fortran routine receives it (every argument by address)."""
    pn, pt, pk = q
    c = CTYPE[pt]
    if pk in ('ch', 'str'):
        return 'const char*'
    if pk == 'wch':
        return 'char*'
    if pk in ('in', 'carr'):
        return 'const %s*' % c
    if pk in ('out', 'arr'):
        return '%s*' % c
    if pk == 'sel':
        return SELTYPE[pt]
    raise AssertionError(pk)


def call_args(e, prefix=''):
    """Arguments of the forwarded call: scalars by the address of the entry point's copy."""
    args = []
    for pn, pt, pk in e.params:
        n = prefix + cname(pn)
        args.append('&' + n if pk == 'in' else n)
    if e.ek == 'xerbla':
        args.append('6')
    elif e.ek == 'ilaenv':
        args += ['std::strlen(%s)' % (prefix + cname(q[0])) for q in e.params if q[2] == 'str']
    else:
        args += ['1'] * e.nchar
    return args


def doc_line(e):
    """One line: what the entry point reads, writes, returns, and how it fails."""
    if e.ek == 'xerbla':
        return ('/* ITF_xerbla: hands SRNAME (its first six characters) and *INFO to the '
                'dependency\'s XERBLA error handler, which reports them. */')
    if e.ek == 'ilaenv':
        return ('/* ITF_ilaenv: reads ISPEC, NAME, OPTS, N1..N4; returns the tuning '
                'parameter that ILAENV chooses (negative: argument ISPEC or NAME invalid). */')
    reads = [q[0] for q in e.params if q[2] in ('carr',)]
    writes = [q[0] for q in e.params if q[2] in ('arr', 'out', 'wch')]
    target = {'fwd': e.name.upper(), 'own': "the library's own " + e.name.upper()}[e.ek]
    parts = ['/* ITF_%s: calls %s' % (e.name, target)]
    if reads:
        parts.append('; reads ' + ', '.join(reads))
    if writes:
        parts.append('; writes ' + ', '.join(writes))
    if e.result != 'void':
        parts.append('; returns its %s result' % {
            'int': 'int', 'logical': 'LOGICAL (nonzero true)', 'float': 'float',
            'double': 'double', 'cfloat': 'complex<float>', 'cdouble': 'complex<double>'}[e.result])
    has_info = any(q[0] == 'INFO' for q in e.params)
    if e.ek == 'own' and e.name in ('kvelozdot', 'kvelocdot'):
        parts.append('; no error case (N <= 0 gives 0)')
    elif has_info:
        parts.append('; fails through INFO (< 0: bad argument, also sent to XERBLA)')
    else:
        parts.append('; no INFO: a bad argument it checks goes to XERBLA')
    return ''.join(parts) + '. */'


def prototype(e):
    """The exported entry point as the header declares it and the forwarder defines it."""
    return 'KVELO_API %s ITF_%s(%s)' % (
        RESULT[e.result], e.name, ', '.join(param_decl(q) for q in e.params) or 'void')


# Around the C-linkage declarations: the complex function results (?dotc, ?dotu) are
# std::complex in C++ and _Complex in C, which clang flags under -Wreturn-type-c-linkage.
COMPLEX_RESULT_PUSH = '''/* std::complex and C99 _Complex results share layout and return registers: clang's C-linkage warning does not apply. */
#if defined(__cplusplus) && defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wreturn-type-c-linkage"
#endif
'''
COMPLEX_RESULT_POP = '''#if defined(__cplusplus) && defined(__clang__)
#pragma clang diagnostic pop
#endif
'''

BANNER = '/* Generated by tools/blas/gen_itf.py from tools/blas/itf_table.txt: do not edit. */\n'


def gen_header(entries):
    o = []
    o.append('''/* ITF_blas_lapack.h: exported C entry points to the BLAS (levels 1 to 3) and LAPACK routines,
 * one per routine, plus the library's own complex dot products and mixed real/complex GEMV.
 * Scalar inputs are values, written scalars and arrays are pointers, CHARACTER options are
 * strings of which only the first character counts; every call is forwarded once, unchanged. */
''')
    o.append(BANNER)
    o.append('''#ifndef ITF_BLAS_LAPACK_H
#define ITF_BLAS_LAPACK_H

#include "kvelo_export.h"

/* Complex elements: std::complex in C++, the layout-identical C99 _Complex in C. */
#ifdef __cplusplus
#include <complex>
typedef std::complex<float> itf_complex;
typedef std::complex<double> itf_doublecomplex;
#else
typedef float _Complex itf_complex;
typedef double _Complex itf_doublecomplex;
#endif

KVELO_C_BEGIN

/* SELECT of ?gees/?geesx: nonzero when the eigenvalue (real and imaginary part, or the
 * complex value) is to be sorted to the top; called only when SORT asks for ordering. */
typedef int (*itf_select2_float)(const float* re, const float* im);
typedef int (*itf_select2_double)(const double* re, const double* im);
typedef int (*itf_select1_complex)(const itf_complex* w);
typedef int (*itf_select1_doublecomplex)(const itf_doublecomplex* w);

/* The entry points keep no state and add no check: any thread may call any of them at
 * any time; argument errors are the routine's own (INFO and the dependency's XERBLA). */
''')
    o.append(COMPLEX_RESULT_PUSH)
    for e in entries:
        o.append(doc_line(e) + '\n')
        o.append(prototype(e) + ';\n')
    o.append(COMPLEX_RESULT_POP)
    o.append('''
KVELO_C_END

#endif
''')
    return ''.join(o)


def fortran_symbol(e):
    return e.name + '_'


def gen_fortran(entries):
    o = []
    o.append('''/* itf_fortran.h: the dependency's BLAS and LAPACK routines as the forwarders call them:
 * the standard Fortran interface with 32-bit integers, every argument by address and one
 * size_t hidden length per CHARACTER argument after the last argument. */
''')
    o.append(BANNER)
    o.append('''#ifndef KVELO_ITF_FORTRAN_H
#define KVELO_ITF_FORTRAN_H

#include <cstddef>

#include "ITF_blas_lapack.h"

extern "C" {
''')
    o.append(COMPLEX_RESULT_PUSH)
    for e in entries:
        if e.ek == 'own':
            continue
        args = [fortran_param(q) for q in e.params] + ['std::size_t'] * e.nchar
        o.append('%s %s(%s);\n' % (RESULT[e.result], fortran_symbol(e), ', '.join(args)))
    o.append(COMPLEX_RESULT_POP)
    o.append('''}

#endif
''')
    return ''.join(o)


def gen_forward(entries):
    o = []
    o.append('''/* itf_forward.cpp: the ITF_* forwarders. Each keeps its scalar inputs in its own parameters,
 * hands their addresses, the caller's pointers and the hidden string lengths to the routine
 * of the same name, and returns what the routine returns: one call, nothing else. */
''')
    o.append(BANNER)
    o.append('''#include <cstring>

#include "blas/itf_fortran.h"
#include "blas/itf_kernels.h"

extern "C" {
''')
    for e in entries:
        if e.ek == 'own':
            callee = 'kvelo_blas::' + e.name
        else:
            callee = fortran_symbol(e)
        call = '%s(%s)' % (callee, ', '.join(call_args(e)))
        ret = '' if e.result == 'void' else 'return '
        o.append('%s\n{\n    %s%s;\n}\n\n' % (prototype(e), ret, call))
    o.append('}\n')
    return ''.join(o)


# Inputs that lapack.h declares as non-const pointers although the routine only reads them.
# (lapack.h keeps the old non-const prototypes of some routines that LAPACK dropped.)
LAPACKH_NONCONST_INPUTS = {p + 'ggsvp': ('TOLA', 'TOLB') for p in 'sdcz'}
LAPACKH_NONCONST_INPUTS.update({p + 'geqpf': ('M', 'N', 'LDA') for p in 'sdcz'})


def gen_lapackh_check(entries):
    o = []
    o.append('''/* itf_lapackh_check.cpp: compile-time check of the forwarded calls against the routine
 * declarations of the installed <lapack.h>: every call that the forwarders make is repeated here
 * with const scalar copies, so a written scalar taken by value, a read-only array that the
 * routine writes, a wrong element type, a missing hidden length or a wrong result type fails
 * to compile. Never linked into anything. LSAME is skipped: lapack.h declares it wrongly. */
''')
    o.append(BANNER)
    o.append('''#include <complex>
#include <cstring>
#include <type_traits>

#define LAPACK_COMPLEX_CPP
#define lapack_complex_float std::complex<float>
#define lapack_complex_double std::complex<double>
#include <lapack.h>

#include "ITF_blas_lapack.h"

namespace {

''')
    for e in entries:
        if e.ek not in ('fwd', 'ilaenv') or e.name == 'lsame':
            continue
        params = []
        for q in e.params:
            d = param_decl(q)
            params.append('const ' + d if q[2] == 'in' else d)
        # lapack.h names the routines with CHARACTER arguments LAPACK_x_base (its LAPACK_x
        # macro appends the lengths itself); the others plainly LAPACK_x.
        base = ('LAPACK_%s_base' if e.nchar else 'LAPACK_%s') % e.name
        args = call_args(e)
        for i, q in enumerate(e.params):
            if q[0] in LAPACKH_NONCONST_INPUTS.get(e.name, ()):
                args[i] = 'const_cast<%s*>(&%s)' % (CTYPE[q[1]], cname(q[0]))
        call = '%s(%s)' % (base, ', '.join(args))
        o.append('#ifdef %s\n' % base)
        o.append('[[maybe_unused]] %s check_%s(%s)\n{\n' % (
            RESULT[e.result], e.name, ', '.join(params) or 'void'))
        if e.result == 'void':
            o.append('    %s;\n' % call)
        else:
            o.append('    auto r = %s;\n' % call)
            o.append('    static_assert(std::is_same<decltype(r), %s>::value, "%s result");\n' % (
                RESULT[e.result], e.name))
            o.append('    return r;\n')
        o.append('}\n#endif\n\n')
    o.append('}  // namespace\n')
    return ''.join(o)


def outputs(entries):
    return {
        'include/ITF_blas_lapack.h': gen_header(entries),
        'src/blas/itf_fortran.h': gen_fortran(entries),
        'src/blas/itf_forward.cpp': gen_forward(entries),
        'tests/blas/itf_lapackh_check.cpp': gen_lapackh_check(entries),
    }


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--root', default=ROOT)
    ap.add_argument('--table', default=os.path.join(HERE, 'itf_table.txt'))
    ap.add_argument('--check', action='store_true')
    a = ap.parse_args()
    entries = read_table(a.table)
    bad = 0
    for rel, text in outputs(entries).items():
        path = os.path.join(a.root, rel)
        if a.check:
            try:
                with open(path) as f:
                    old = f.read()
            except OSError:
                old = None
            if old != text:
                print('differs from the table: %s' % rel)
                bad += 1
        else:
            with open(path, 'w') as f:
                f.write(text)
    if a.check:
        print('%d entry points; %s' % (len(entries), 'generated files up to date' if not bad
                                       else '%d generated file(s) out of date' % bad))
    return 1 if bad else 0


if __name__ == '__main__':
    sys.exit(main())
