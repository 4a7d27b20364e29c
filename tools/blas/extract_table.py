#!/usr/bin/env python3
"""One-time extraction of the ITF_* entry-point table (tools/blas/itf_table.txt).

The BLAS side is written from the family tables below; the LAPACK side takes each
routine's argument list and argument intents from LAPACK's own HTML reference
(Debian package liblapack-doc), except for the few routines that have no usable page,
whose lists are written out here.  The output table is committed: the build and the
tests read only the table, never the documentation.

Usage: extract_table.py [--html DIR] [--out FILE]
"""
import argparse
import html
import os
import re

# ---------------------------------------------------------------------------------
# Table vocabulary (shared with gen_itf.py):
#   line  := name result entry-kind param*
#   result: void int logical float double cfloat cdouble
#   entry-kind: fwd (forward to name_), own (library kernel), xerbla, ilaenv
#   param := NAME:type:kind
#     type: char int logical float double cfloat cdouble
#     kind: ch (CHARACTER, const char*), wch (written CHARACTER, char*),
#           in (scalar input, by value), out (written scalar, pointer),
#           arr (array, pointer), carr (read-only array, const pointer),
#           sel (selection function; type = the eigenvalue's element type),
#           str (CHARACTER*(*) string with its own length, ILAENV)
# ---------------------------------------------------------------------------------

T_OF = {'s': 'float', 'd': 'double', 'c': 'cfloat', 'z': 'cdouble'}
R_OF = {'s': 'float', 'd': 'double', 'c': 'float', 'z': 'double'}


def p(name, typ, kind):
    return (name, typ, kind)


def C(nm):
    """A CHARACTER option."""
    return p(nm, 'char', 'ch')


def I(nm):
    """An integer scalar input."""
    return p(nm, 'int', 'in')


def blas_entries():
    """The BLAS side: levels 1 to 3, LSAME, XERBLA and the library's own kernels."""
    out = []

    def add(name, result, params, ek='fwd'):
        out.append((name, result, ek, params))

    # Level 1 --------------------------------------------------------------------
    def N():
        return I('N')

    for pre, nm in (('s', 'sasum'), ('d', 'dasum'), ('c', 'scasum'), ('z', 'dzasum')):
        add(nm, R_OF[pre], [N(), p('X', T_OF[pre], 'carr'), I('INCX')])
    for pre in 'sdcz':
        T = T_OF[pre]
        add(pre + 'axpy', 'void', [N(), p('ALPHA', T, 'in'), p('X', T, 'carr'), I('INCX'),
                                   p('Y', T, 'arr'), I('INCY')])
    for pre in 'sdcz':
        T = T_OF[pre]
        add(pre + 'copy', 'void', [N(), p('X', T, 'carr'), I('INCX'), p('Y', T, 'arr'),
                                   I('INCY')])
    for nm, pre in (('sdot', 's'), ('ddot', 'd'), ('cdotc', 'c'), ('zdotc', 'z'),
                    ('cdotu', 'c'), ('zdotu', 'z')):
        T = T_OF[pre]
        add(nm, T, [N(), p('X', T, 'carr'), I('INCX'), p('Y', T, 'carr'), I('INCY')])
    for pre, nm in (('s', 'snrm2'), ('d', 'dnrm2'), ('c', 'scnrm2'), ('z', 'dznrm2')):
        add(nm, R_OF[pre], [N(), p('X', T_OF[pre], 'carr'), I('INCX')])
    for pre in 'sd':
        T = T_OF[pre]
        add(pre + 'rot', 'void', [N(), p('X', T, 'arr'), I('INCX'), p('Y', T, 'arr'),
                                  I('INCY'), p('C', T, 'in'), p('S', T, 'in')])
    for pre in 'sd':
        T = T_OF[pre]
        add(pre + 'rotg', 'void', [p('A', T, 'out'), p('B', T, 'out'), p('C', T, 'out'),
                                   p('S', T, 'out')])
    for pre in 'cz':
        T, R = T_OF[pre], R_OF[pre]
        add(pre + 'rotg', 'void', [p('CA', T, 'out'), p('CB', T, 'in'), p('C', R, 'out'),
                                   p('S', T, 'out')])
    for pre in 'sdcz':
        T = T_OF[pre]
        add(pre + 'scal', 'void', [N(), p('ALPHA', T, 'in'), p('X', T, 'arr'), I('INCX')])
    for nm, pre in (('csscal', 'c'), ('zdscal', 'z')):
        add(nm, 'void', [N(), p('ALPHA', R_OF[pre], 'in'), p('X', T_OF[pre], 'arr'),
                         I('INCX')])
    for pre in 'sdcz':
        T = T_OF[pre]
        add(pre + 'swap', 'void', [N(), p('X', T, 'arr'), I('INCX'), p('Y', T, 'arr'),
                                   I('INCY')])
    for kind in ('amax', 'amin'):
        for pre in 'sdcz':
            add('i' + pre + kind, 'int', [N(), p('X', T_OF[pre], 'carr'), I('INCX')])

    # Level 2 --------------------------------------------------------------------
    def gemv(pre, T):
        return [C('TRANS'), I('M'), I('N'), p('ALPHA', T, 'in'), p('A', T, 'carr'), I('LDA'),
                p('X', T, 'carr'), I('INCX'), p('BETA', T, 'in'), p('Y', T, 'arr'), I('INCY')]

    def gbmv(pre, T):
        return [C('TRANS'), I('M'), I('N'), I('KL'), I('KU'), p('ALPHA', T, 'in'),
                p('A', T, 'carr'), I('LDA'), p('X', T, 'carr'), I('INCX'), p('BETA', T, 'in'),
                p('Y', T, 'arr'), I('INCY')]

    def symv(pre, T):
        return [C('UPLO'), I('N'), p('ALPHA', T, 'in'), p('A', T, 'carr'), I('LDA'),
                p('X', T, 'carr'), I('INCX'), p('BETA', T, 'in'), p('Y', T, 'arr'), I('INCY')]

    def sbmv(pre, T):
        return [C('UPLO'), I('N'), I('K'), p('ALPHA', T, 'in'), p('A', T, 'carr'), I('LDA'),
                p('X', T, 'carr'), I('INCX'), p('BETA', T, 'in'), p('Y', T, 'arr'), I('INCY')]

    def spmv(pre, T):
        return [C('UPLO'), I('N'), p('ALPHA', T, 'in'), p('AP', T, 'carr'), p('X', T, 'carr'),
                I('INCX'), p('BETA', T, 'in'), p('Y', T, 'arr'), I('INCY')]

    def trmv(pre, T):
        return [C('UPLO'), C('TRANS'), C('DIAG'), I('N'), p('A', T, 'carr'), I('LDA'),
                p('X', T, 'arr'), I('INCX')]

    def tbmv(pre, T):
        return [C('UPLO'), C('TRANS'), C('DIAG'), I('N'), I('K'), p('A', T, 'carr'), I('LDA'),
                p('X', T, 'arr'), I('INCX')]

    def tpmv(pre, T):
        return [C('UPLO'), C('TRANS'), C('DIAG'), I('N'), p('AP', T, 'carr'),
                p('X', T, 'arr'), I('INCX')]

    def ger(pre, T):
        return [I('M'), I('N'), p('ALPHA', T, 'in'), p('X', T, 'carr'), I('INCX'),
                p('Y', T, 'carr'), I('INCY'), p('A', T, 'arr'), I('LDA')]

    def syr(pre, T):
        return [C('UPLO'), I('N'), p('ALPHA', R_OF[pre], 'in'), p('X', T, 'carr'), I('INCX'),
                p('A', T, 'arr'), I('LDA')]

    def spr(pre, T):
        return [C('UPLO'), I('N'), p('ALPHA', R_OF[pre], 'in'), p('X', T, 'carr'), I('INCX'),
                p('AP', T, 'arr')]

    def syr2(pre, T):
        return [C('UPLO'), I('N'), p('ALPHA', T, 'in'), p('X', T, 'carr'), I('INCX'),
                p('Y', T, 'carr'), I('INCY'), p('A', T, 'arr'), I('LDA')]

    def spr2(pre, T):
        return [C('UPLO'), I('N'), p('ALPHA', T, 'in'), p('X', T, 'carr'), I('INCX'),
                p('Y', T, 'carr'), I('INCY'), p('AP', T, 'arr')]

    level2 = [
        ('gemv', 'sdcz', gemv), ('gbmv', 'sdcz', gbmv),
        ('symv', 'sd', symv), ('hemv', 'cz', symv),
        ('sbmv', 'sd', sbmv), ('hbmv', 'cz', sbmv),
        ('spmv', 'sd', spmv), ('hpmv', 'cz', spmv),
        ('trmv', 'sdcz', trmv), ('trsv', 'sdcz', trmv),
        ('tbmv', 'sdcz', tbmv), ('tbsv', 'sdcz', tbmv),
        ('tpmv', 'sdcz', tpmv), ('tpsv', 'sdcz', tpmv),
        ('ger', 'sd', ger), ('gerc', 'cz', ger), ('geru', 'cz', ger),
        ('syr', 'sd', syr), ('her', 'cz', syr),
        ('spr', 'sd', spr), ('hpr', 'cz', spr),
        ('syr2', 'sd', syr2), ('her2', 'cz', syr2),
        ('spr2', 'sd', spr2), ('hpr2', 'cz', spr2),
    ]
    for stem, pres, fn in level2:
        for pre in pres:
            add(pre + stem, 'void', fn(pre, T_OF[pre]))

    # Level 3 --------------------------------------------------------------------
    def gemm(pre, T):
        return [C('TRANSA'), C('TRANSB'), I('M'), I('N'), I('K'), p('ALPHA', T, 'in'),
                p('A', T, 'carr'), I('LDA'), p('B', T, 'carr'), I('LDB'), p('BETA', T, 'in'),
                p('C', T, 'arr'), I('LDC')]

    def symm(pre, T):
        return [C('SIDE'), C('UPLO'), I('M'), I('N'), p('ALPHA', T, 'in'), p('A', T, 'carr'),
                I('LDA'), p('B', T, 'carr'), I('LDB'), p('BETA', T, 'in'), p('C', T, 'arr'),
                I('LDC')]

    def syrk(pre, T):
        return [C('UPLO'), C('TRANS'), I('N'), I('K'), p('ALPHA', T, 'in'), p('A', T, 'carr'),
                I('LDA'), p('BETA', T, 'in'), p('C', T, 'arr'), I('LDC')]

    def herk(pre, T):
        R = R_OF[pre]
        return [C('UPLO'), C('TRANS'), I('N'), I('K'), p('ALPHA', R, 'in'), p('A', T, 'carr'),
                I('LDA'), p('BETA', R, 'in'), p('C', T, 'arr'), I('LDC')]

    def syr2k(pre, T):
        return [C('UPLO'), C('TRANS'), I('N'), I('K'), p('ALPHA', T, 'in'), p('A', T, 'carr'),
                I('LDA'), p('B', T, 'carr'), I('LDB'), p('BETA', T, 'in'), p('C', T, 'arr'),
                I('LDC')]

    def her2k(pre, T):
        return [C('UPLO'), C('TRANS'), I('N'), I('K'), p('ALPHA', T, 'in'), p('A', T, 'carr'),
                I('LDA'), p('B', T, 'carr'), I('LDB'), p('BETA', R_OF[pre], 'in'),
                p('C', T, 'arr'), I('LDC')]

    def trmm(pre, T):
        return [C('SIDE'), C('UPLO'), C('TRANSA'), C('DIAG'), I('M'), I('N'),
                p('ALPHA', T, 'in'), p('A', T, 'carr'), I('LDA'), p('B', T, 'arr'), I('LDB')]

    level3 = [
        ('gemm', 'sdcz', gemm), ('symm', 'sdcz', symm), ('hemm', 'cz', symm),
        ('syrk', 'sdcz', syrk), ('herk', 'cz', herk), ('syr2k', 'sdcz', syr2k),
        ('her2k', 'cz', her2k), ('trmm', 'sdcz', trmm), ('trsm', 'sdcz', trmm),
    ]
    for stem, pres, fn in level3:
        for pre in pres:
            add(pre + stem, 'void', fn(pre, T_OF[pre]))

    # Support routines and the library's own kernels ----------------------------------
    add('lsame', 'logical', [C('CA'), C('CB')])
    add('xerbla', 'void', [p('SRNAME', 'char', 'str'), p('INFO', 'int', 'carr')], 'xerbla')
    add('kvelozdot', 'void', [N(), p('X', 'cdouble', 'carr'), p('Y', 'cdouble', 'carr'),
                              p('RESULT', 'cdouble', 'out'), p('CONJ', 'int', 'in')], 'own')
    add('kvelocdot', 'void', [N(), p('X', 'cfloat', 'carr'), p('Y', 'cfloat', 'carr'),
                              p('RESULT', 'cfloat', 'out'), p('CONJ', 'int', 'in')], 'own')
    add('dzgemv', 'void', [C('TRANS'), I('M'), I('N'), p('ALPHA', 'cdouble', 'in'),
                           p('A', 'double', 'carr'), I('LDA'), p('X', 'cdouble', 'carr'),
                           I('INCX'), p('BETA', 'cdouble', 'in'), p('Y', 'cdouble', 'arr'),
                           I('INCY')], 'own')
    add('zdgemv', 'void', [C('TRANS'), I('M'), I('N'), p('ALPHA', 'cdouble', 'in'),
                           p('A', 'cdouble', 'carr'), I('LDA'), p('X', 'double', 'carr'),
                           I('INCX'), p('BETA', 'cdouble', 'in'), p('Y', 'cdouble', 'arr'),
                           I('INCY')], 'own')
    return out



# ---------------------------------------------------------------------------------
# LAPACK side
# ---------------------------------------------------------------------------------

STEMS_SDCZ = """bdsqr gbtf2 gbtrf gbtrs gebak gebal gebd2 gebrd gecon geequ gees geesx geev geevx
gegs gegv gehd2 gehrd gelq2 gelqf gels gelss gelsx geql2 geqlf geqpf geqr2 geqrf gerfs gerq2
gerqf gesv gesvd gesvx getf2 getrf getri getrs ggbak ggbal ggev ggglm gghrd gglse ggqrf ggrqf
ggsvd ggsvp gtcon gtrfs gtsv gtsvx gttrf gttrs hgeqz hsein hseqr pbcon pbequ pbrfs pbstf pbsv
pbsvx pbtf2 pbtrf pbtrs pocon poequ porfs posv posvx potf2 potrf potri potrs ppcon ppequ pprfs
ppsv ppsvx pptrf pptri pptrs ptcon pteqr ptrfs ptsv ptsvx pttrf pttrs spcon sprfs spsv spsvx
sptrf sptri sptrs stedc stein steqr sycon syrfs sysv sysvx sytf2 sytrf sytri sytrs tbcon tbrfs
tbtrs tgevc tgsja tpcon tprfs tptri tptrs trcon trevc trexc trrfs trsen trsna trsyl trti2 trtri
trtrs tzrqf
labrd lacon lacpy laed0 laed7 laed8 laein laev2 lags2 lagtm lahqr lahrd laic1 langb lange langt
lanhs lansb lansp lansy lantb lantp lantr lapll lapmt laqgb laqge laqsb laqsp laqsy lar2v larf
larfb larfg larft larfx largv larnv lartg lartv lascl laset lasr lassq laswp lasyf latbs latps
latrd latrs latzm lauu2 lauum"""
STEMS_SD = """disna opgtr opmtr org2l org2r orgbr orghr orgl2 orglq orgql orgqr orgr2 orgrq orgtr
orm2l orm2r ormbr ormhr orml2 ormlq ormql ormqr ormr2 ormrq ormtr rscl sbev sbevd sbevx sbgst
sbgv sbtrd spev spevd spevx spgst spgv sptrd stebz sterf stev stevd stevx syev syevd syevx sygs2
sygst sygv sytd2 sytrd
labad ladiv lae2 laebz laed1 laed4 laed5 laed6 laed9 laeda laexc lag2 lagtf lagts laln2 lamch
lamrg lanst lanv2 lapy2 lapy3 laqtr laruv las2 lasq1 lasrt lasv2 lasy2"""
STEMS_DCZ = "gbbrd gbcon gbequ gbrfs gbsv gbsvx"
STEMS_D = "gelsy geqp3 ormrz tzrzf"
STEMS_CZ = """hbev hbevd hbevx hbgst hbgv hbtrd hecon heev heevd heevx hegs2 hegst hegv herfs hesv
hesvx hetd2 hetf2 hetrd hetrf hetri hetrs hpcon hpev hpevd hpevx hpgst hpgv hprfs hpsv hpsvx
hptrd hptrf hptri hptrs rot spmv spr symv syr ung2l ung2r ungbr unghr ungl2 unglq ungql ungqr
ungr2 ungrq ungtr unm2l unm2r unmbr unmhr unml2 unmlq unmql unmqr unmr2 unmrq unmtr upgtr upmtr
lacgv lacrm lacrt laesy lahef lanhb lanhe lanhp lanht laqhb laqhe laqhp"""
MIXED = "scsum1 dzsum1 csrot zdrot csrscl zdrscl icmax1 izmax1 ilaenv"


def lapack_names():
    names = []
    for stems, pres in ((STEMS_SDCZ, 'sdcz'), (STEMS_SD, 'sd'), (STEMS_DCZ, 'dcz'),
                        (STEMS_D, 'd'), (STEMS_CZ, 'cz')):
        for stem in stems.split():
            for pre in pres:
                names.append(pre + stem)
    names += MIXED.split()
    return names


# Scalars besides INFO that the routines write, by stem (checked against the documentation).
WRITTEN = {
    'RCOND': 'gbcon gecon gtcon hecon hpcon pbcon pocon ppcon ptcon spcon sycon tbcon tpcon trcon '
             'gbsvx gesvx gtsvx hesvx hpsvx pbsvx posvx ppsvx ptsvx spsvx sysvx',
    'EQUED': 'gbsvx gesvx pbsvx posvx ppsvx laqgb laqge laqhb laqhe laqhp laqsb laqsp laqsy',
    'ROWCND COLCND AMAX': 'gbequ geequ',
    'SCOND AMAX': 'pbequ poequ ppequ',
    'ILO IHI': 'gebal ggbal',
    'ILO IHI ABNRM': 'geevx',
    'SDIM': 'gees geesx',
    'RANK': 'gelss gelsx gelsy',
    'M': 'hbevx heevx hpevx sbevx spevx stevx syevx hsein tgevc trevc trsna',
    'M NSPLIT': 'stebz',
    'M S SEP': 'trsen',
    'K L': 'ggsvd ggsvp',
    'NCYCLE': 'tgsja',
    'SCALE': 'latbs latps latrs laqtr trsyl',
    'SCALE XNORM': 'laln2 lasy2',
    'SCALE SUMSQ': 'lassq',
    'EST KASE': 'lacon',
    'SMALL LARGE': 'labad',
    'P Q': 'ladiv',
    'CS SN R': 'lartg',
    'SSMIN SSMAX': 'las2',
    'SSMIN SSMAX SNR CSR SNL CSL': 'lasv2',
    'A B C D RT1R RT1I RT2R RT2I CS SN': 'lanv2',
    'RT1 RT2': 'lae2',
    'RT1 RT2 CS1 SN1': 'laev2',
    'RT1 RT2 EVSCAL CS1 SN1': 'laesy',
    'SCALE1 SCALE2 WR1 WR2 WI': 'lag2',
    'CSU SNU CSV SNV CSQ SNQ': 'lags2',
    'SESTPR S C': 'laic1',
    'ALPHA TAU': 'larfg',
    'SSMIN': 'lapll',
    'DLAM': 'laed4 laed5',
    'TAU': 'laed6',
    'K GIVPTR RHO': 'laed8',
    'MOUT': 'laebz',
    'TOL': 'lagts',
    'KB': 'lahef lasyf',
}
# RCONDE and RCONDV of ?geesx are written by the routine as well (decided behaviour).
WRITTEN_EXTRA = {'geesx': ['RCONDE', 'RCONDV']}
# TREXC writes IFST and ILST in the real precisions only.
WRITTEN_REAL_ONLY = {'trexc': ['IFST', 'ILST']}


def written_scalars(name):
    stem = name[1:]
    out = set()
    for params, stems in WRITTEN.items():
        if stem in stems.split():
            out.update(params.split())
    out.update(WRITTEN_EXTRA.get(stem, []))
    if name[0] in 'sd':
        out.update(WRITTEN_REAL_ONLY.get(stem, []))
    return out


FTYPE = {'integer': 'int', 'logical': 'logical', 'real': 'float', 'double precision': 'double',
         'complex': 'cfloat', 'complex*16': 'cdouble', 'character': 'char',
         'character*1': 'char', 'character*( * )': 'char', 'character*(*)': 'char'}


def _text(s):
    return html.unescape(re.sub(r'<[^>]*>', '', s)).replace('\xa0', ' ').strip()


# Arrays documented as [in] that the routine nonetheless writes: the text says so (destroyed,
# modified and restored, SELECT entries reset), or, for the orthogonal/unitary
# multiplications, the blocked routine hands A to the unblocked one that modifies it and
# restores it; LAED8 also adds CUTPNT to the second half of INDXQ.  Such arrays stay non-const.
_WRITES_TEXT = re.compile(r'destroyed|modified by the routine|on exit,? SELECT\(j\) is set', re.I)
_REFLECTOR_STEMS = re.compile(r'^(orm|unm)(2l|2r|l2|r2|qr|ql|lq|rq|tr|hr|br|rz)$|^(op|up)mtr$')


def array_written_anyway(name, arg, desc):
    stem = name[1:]
    if _WRITES_TEXT.search(desc):
        return True
    if _REFLECTOR_STEMS.match(stem) and arg in ('A', 'AP'):
        return True
    if stem == 'laed8' and arg == 'INDXQ':
        return True
    return False


def param_descriptions(path):
    with open(path, encoding='utf-8', errors='replace') as f:
        h = f.read()
    out = {}
    for n, body in re.findall(r'<td class="paramdir">\[[^\]]*\]</td><td class="paramname">(.*?)</td>'
                              r'<td>(.*?)</td></tr>', h, re.S):
        for nm in _text(n).split(','):
            out[nm.strip().upper()] = ' '.join(_text(body).split())
    return out


def parse_page(path):
    """(kind 'subroutine'/'function', result type, name, [(NAME, ftype-text)], {NAME: intent})"""
    with open(path, encoding='utf-8', errors='replace') as f:
        h = f.read()
    m = re.search(r'<td class="memname">(.*?)</td>', h, re.S)
    if not m:
        return None
    head = _text(m.group(1)).lower()
    hm = re.match(r'(?:(.*?)\s+)?(subroutine|function)\s+(\w+)$', head)
    if not hm:
        return None
    rtype, kind, name = hm.group(1), hm.group(2), hm.group(3)
    proto = h[m.end():h.find('</table>', m.end())]
    types = [_text(t) for t in re.findall(r'<td class="paramtype">(.*?)</td>', proto, re.S)]
    pnames = [_text(t).rstrip(',').strip() for t in
              re.findall(r'<td class="paramname">(.*?)</td>', proto, re.S)]
    if len(types) != len(pnames):
        raise SystemExit('%s: cannot pair argument types and names' % path)
    intents = {}
    for d, n in re.findall(r'<td class="paramdir">\[([^\]]*)\]</td><td class="paramname">(.*?)</td>',
                           h, re.S):
        for nm in _text(n).split(','):
            intents[nm.strip().upper()] = d.replace(' ', '')
    return kind, rtype, name, list(zip([n.upper() for n in pnames], types)), intents


def index_pages(root):
    """routine name -> page path; the variants and testing groups never win."""
    idx = {}
    for dirpath, _, files in os.walk(root):
        for fn in files:
            if not fn.endswith('.html') or not fn.startswith('group__'):
                continue
            path = os.path.join(dirpath, fn)
            with open(path, encoding='utf-8', errors='replace') as f:
                head = f.read(4096)
            m = re.search(r'<title>LAPACK: (\w+)</title>', head)
            if not m:
                continue
            nm = m.group(1).lower()
            low = 'variants' in fn or 'testing' in fn or 'test' in fn.split('_g')[0]
            if nm not in idx or (idx[nm][1] and not low):
                idx[nm] = (path, low)
    return {k: v[0] for k, v in idx.items()}


def _map_type(text, page):
    t = text.lower().strip()
    dims = None
    if ',' in t:
        t, dims = t.split(',', 1)
        t = t.strip()
        if not dims.strip().startswith('dimension'):
            raise SystemExit('%s: unexpected type %r' % (page, text))
    if t == 'external':
        return 'external', False
    if t not in FTYPE:
        raise SystemExit('%s: unknown type %r' % (page, text))
    return FTYPE[t], dims is not None


def entry_from_page(name, page):
    kind, rtype, pname, args, intents = parse_page(page)
    if pname != name:
        raise SystemExit('%s: page of %s, not %s' % (page, pname, name))
    written = written_scalars(name)
    descs = param_descriptions(page)
    params = []
    for an, at in args:
        typ, is_arr = _map_type(at, page)
        intent = intents.get(an)
        if intent is None:
            raise SystemExit('%s: %s has no documented intent' % (page, an))
        if typ == 'external':
            params.append((an, T_OF[name[0]], 'sel'))
            continue
        if typ == 'char':
            if is_arr:
                raise SystemExit('%s: character array %s' % (page, an))
            if '*(' in at.replace(' ', ''):
                params.append((an, 'char', 'str'))
            else:
                params.append((an, 'char', 'wch' if 'out' in intent else 'ch'))
            continue
        if is_arr:
            written_arr = 'out' in intent or array_written_anyway(name, an, descs.get(an, ''))
            params.append((an, typ, 'arr' if written_arr else 'carr'))
        else:
            params.append((an, typ, 'out' if ('out' in intent or an == 'INFO') else 'in'))
    # The documented intents and the list of written scalars must agree.
    doc_written = {q[0] for q in params if q[2] in ('out', 'wch')} - {'INFO'}
    if doc_written != written:
        raise SystemExit('%s: written scalars %s documented, %s expected'
                         % (name, sorted(doc_written), sorted(written)))
    if kind == 'function':
        result = {'double precision': 'double', 'real': 'float', 'integer': 'int',
                  'logical': 'logical'}[rtype]
    else:
        result = 'void'
    return (name, result, 'ilaenv' if name == 'ilaenv' else 'fwd', params)


def hand_entries():
    """Routines without a usable reference page: dropped routines and the LAPACK 3.10 modules."""
    out = {}
    INFO = ('INFO', 'int', 'out')
    for pre in 'sdcz':
        T, R = T_OF[pre], R_OF[pre]
        cplx = pre in 'cz'

        def A(n, t=T):
            return (n, t, 'arr')

        def CA(n, t=T):
            return (n, t, 'carr')

        rwork = [A('RWORK', R)] if cplx else []
        if cplx:
            gegs = [C('JOBVSL'), C('JOBVSR'), I('N'), A('A'), I('LDA'), A('B'), I('LDB'),
                    A('ALPHA'), A('BETA'), A('VSL'), I('LDVSL'), A('VSR'), I('LDVSR'), A('WORK'),
                    I('LWORK'), A('RWORK', R), INFO]
            gegv = [C('JOBVL'), C('JOBVR'), I('N'), A('A'), I('LDA'), A('B'), I('LDB'),
                    A('ALPHA'), A('BETA'), A('VL'), I('LDVL'), A('VR'), I('LDVR'), A('WORK'),
                    I('LWORK'), A('RWORK', R), INFO]
        else:
            gegs = [C('JOBVSL'), C('JOBVSR'), I('N'), A('A'), I('LDA'), A('B'), I('LDB'),
                    A('ALPHAR'), A('ALPHAI'), A('BETA'), A('VSL'), I('LDVSL'), A('VSR'),
                    I('LDVSR'), A('WORK'), I('LWORK'), INFO]
            gegv = [C('JOBVL'), C('JOBVR'), I('N'), A('A'), I('LDA'), A('B'), I('LDB'),
                    A('ALPHAR'), A('ALPHAI'), A('BETA'), A('VL'), I('LDVL'), A('VR'), I('LDVR'),
                    A('WORK'), I('LWORK'), INFO]
        out[pre + 'gegs'] = ('void', gegs)
        out[pre + 'gegv'] = ('void', gegv)
        out[pre + 'gelsx'] = ('void', [I('M'), I('N'), I('NRHS'), A('A'), I('LDA'), A('B'),
                                       I('LDB'), A('JPVT', 'int'), (('RCOND', R, 'in')),
                                       ('RANK', 'int', 'out'), A('WORK')] + rwork + [INFO])
        out[pre + 'geqpf'] = ('void', [I('M'), I('N'), A('A'), I('LDA'), A('JPVT', 'int'),
                                       A('TAU'), A('WORK')] + rwork + [INFO])
        ab = [A('ALPHA', R), A('BETA', R)] if cplx else [A('ALPHA'), A('BETA')]
        out[pre + 'ggsvd'] = ('void', [C('JOBU'), C('JOBV'), C('JOBQ'), I('M'), I('N'), I('P'),
                                       ('K', 'int', 'out'), ('L', 'int', 'out'), A('A'), I('LDA'),
                                       A('B'), I('LDB')] + ab +
                              [A('U'), I('LDU'), A('V'), I('LDV'), A('Q'), I('LDQ'), A('WORK')] +
                              rwork + [A('IWORK', 'int'), INFO])
        out[pre + 'ggsvp'] = ('void', [C('JOBU'), C('JOBV'), C('JOBQ'), I('M'), I('P'), I('N'),
                                       A('A'), I('LDA'), A('B'), I('LDB'), ('TOLA', R, 'in'),
                                       ('TOLB', R, 'in'), ('K', 'int', 'out'), ('L', 'int', 'out'),
                                       A('U'), I('LDU'), A('V'), I('LDV'), A('Q'), I('LDQ'),
                                       A('IWORK', 'int')] + rwork + [A('TAU'), A('WORK'), INFO])
        out[pre + 'lahrd'] = ('void', [I('N'), I('K'), I('NB'), A('A'), I('LDA'), A('TAU'),
                                       A('T'), I('LDT'), A('Y'), I('LDY')])
        out[pre + 'latzm'] = ('void', [C('SIDE'), I('M'), I('N'), CA('V'), I('INCV'),
                                       ('TAU', T, 'in'), A('C1'), A('C2'), I('LDC'), A('WORK')])
        out[pre + 'tzrqf'] = ('void', [I('M'), I('N'), A('A'), I('LDA'), A('TAU'), INFO])
        # LAPACK 3.10 moved these two into Fortran 90 modules; their argument lists stayed.
        out[pre + 'lartg'] = ('void', [('F', T, 'in'), ('G', T, 'in'), ('CS', R, 'out'),
                                       ('SN', T, 'out'), ('R', T, 'out')])
        out[pre + 'lassq'] = ('void', [I('N'), CA('X'), I('INCX'), ('SCALE', R, 'out'),
                                       ('SUMSQ', R, 'out')])
    for pre in 'sd':
        out[pre + 'lamch'] = (R_OF[pre], [C('CMACH')])
    return out


def lapack_entries(html_root):
    idx = index_pages(html_root)
    hand = hand_entries()
    out = []
    missing = []
    for name in lapack_names():
        if name in hand:
            result, params = hand[name]
            ek = 'fwd'
            out.append((name, result, ek, params))
            continue
        page = idx.get(name)
        if page is None:
            missing.append(name)
            continue
        out.append(entry_from_page(name, page))
    if missing:
        raise SystemExit('no reference page for: ' + ' '.join(missing))
    return out


def write_table(path, blocks):
    with open(path, 'w') as f:
        f.write('# ITF_* entry points: one line per entry point.\n')
        f.write('# name result entry-kind NAME:type:kind ...  (see tools/blas/gen_itf.py)\n')
        f.write('# Extracted once by tools/blas/extract_table.py; this file is the one source.\n')
        for title, entries in blocks:
            f.write('#\n# %s\n' % title)
            for name, result, ek, params in entries:
                toks = [name, result, ek] + ['%s:%s:%s' % q for q in params]
                f.write(' '.join(toks) + '\n')


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--html', default='/usr/share/doc/liblapack-dev/explore-html')
    ap.add_argument('--out', default=os.path.join(os.path.dirname(__file__), 'itf_table.txt'))
    a = ap.parse_args()
    blocks = [('BLAS', blas_entries()), ('LAPACK', lapack_entries(a.html))]
    n = sum(len(b[1]) for b in blocks)
    write_table(a.out, blocks)
    print('%d entry points written to %s' % (n, a.out))


if __name__ == '__main__':
    main()
