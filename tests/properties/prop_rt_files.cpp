// prop_rt_files.cpp: the runtime's binary values (BF_*), typed arrays (T_BF_*), 64-bit file
// wrappers (CBF_*64) and keyword files, driven by random command sequences.
// After every command: the file holds exactly the bytes an encoder written here from the
// format's definition predicts (so a refused write changes nothing); reading back gives every
// value bit for bit, and what a reader accepts its writer writes back byte for byte. Readers
// given any bytes (cut, garbled, claiming huge lengths, from a pipe) refuse without a crash
// and take memory only for what arrives. Keyword files are held against a reader written here
// from the documented rules; after a successful rewrite every setting reads the new value.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>
#include <rapidcheck/state.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "C_KveloException.h"
#include "C_bfd.h"
#include "bf.h"
#include "chaine.h"
#include "failing_new.h"
#include "kvelosys.h"
#include "matrix.h"
#include "msgcapture.h"
#include "prop_rt_io.h"
#include "prop_support.h"
#include "runtime/heap_limit.h"

// clang-format off
KVELO_HOLDS(
    "BF_EndianIsCorrect",
    "BF_fwrite_int", "BF_fwrite_long", "BF_fwrite_hyper", "BF_fwrite_float", "BF_fwrite_double",
    "BF_fwrite_char", "BF_fwrite_tchar", "BF_fwrite_str", "BF_fwrite_tstr",
    "BF_fwrite_multiplatform_char",
    "BF_fread_int", "BF_fread_long", "BF_fread_hyper", "BF_fread_float", "BF_fread_double",
    "BF_fread_char", "BF_fread_tchar", "BF_fread_str", "BF_fread_tstr",
    "BF_fread_multiplatform_char",
    "T_BF_write", "T_BF_read",
    "CBF_fopen64", "CBF_open64", "CBF_fclose64", "CBF_close64", "CBF_fseek64", "CBF_lseek64",
    "CBF_ftell64", "CBF_tell64", "CBF_fwrite64", "CBF_fread64", "CBF_write64", "CBF_read64",
    "ligne_utile", "ligne_suivante", "extraire_fichier", "extraire_repertoire",
    "enleve_extension", "cadena_con_blanco", "cherche_mot_cle", "lire_valeur_mot_cle",
    "lire_valeur_mot_cle_yn", "subsitue_mot_cle", "skipjunk");
// clang-format on

namespace {

using kvtest::Bytes;
using kvtest::PutBE;
using kvtest::PutLE;

// =============================================================================================
// Binary values and typed arrays on one stream.

enum Kind { kInt, kLong, kHyper, kFloat, kDouble, kChar, kTchar, kStr, kTstr, kMulti, kTyped };
enum TType { tChar, tInt, tLL, tFloat, tDouble, tCFloat, tCDouble };
const char* const kKindName[] = {"int", "long", "hyper", "float", "double", "char",
                                 "tchar", "str", "tstr", "multi", "typed"};
const char* const kTypeName[] = {"char", "int", "long long", "float", "double", "complex<float>",
                                 "complex<double>"};
const int kTypeSize[] = {1, 4, 8, 4, 8, 8, 16};
const int kPartSize[] = {1, 4, 8, 4, 8, 4, 8};

// One value run as written: what to read it back with and what it must give.
struct Record {
  Kind kind;
  int n = 0;                 // elements (multi: units of the field)
  Bytes host;                // element kinds and typed arrays: the values in host bytes
  std::string str;           // str
  std::wstring wstr;         // tstr, multi
  TType type = tInt;         // typed
  bool bigEndian = true;     // typed
  bool longCount = false;    // typed
  bool onFd = false;         // typed
};

struct BinModel {
  Bytes image;
  std::vector<Record> records;
};

struct BinSut {
  kvtest::ScratchDir dir;
  std::string path;
  FILE* f = nullptr;
  BinSut() {
    path = dir.File("values.bin");
    const std::wstring w(path.begin(), path.end());
    f = CBF_fopen64(w.c_str(), L"w+b");
  }
  ~BinSut() {
    if (f) CBF_fclose64(f);
  }
  int fd() const { return fileno(f); }
};

using BinCmd = rc::state::Command<BinModel, BinSut>;

int ElemSize(Kind k) {
  switch (k) {
    case kInt: case kLong: case kFloat: return 4;
    case kHyper: case kDouble: return 8;
    case kChar: return 1;
    default: return 2;
  }
}

// The file's bytes of the host values of an element kind: big-endian, longs as 4 bytes.
void EncodeElems(Bytes& out, Kind k, const Bytes& host, int n) {
  const int hs = k == kLong ? static_cast<int>(sizeof(long)) : ElemSize(k);
  for (int i = 0; i < n; ++i) {
    std::uint64_t u = 0;
    std::memcpy(&u, host.data() + static_cast<size_t>(i) * hs, static_cast<size_t>(hs));
    PutBE(out, u, ElemSize(k));
  }
}

bool LongFits(const Bytes& host, int n) {
  for (int i = 0; i < n; ++i) {
    long v;
    std::memcpy(&v, host.data() + static_cast<size_t>(i) * sizeof(long), sizeof(long));
    if (v < INT32_MIN || v > INT32_MAX) return false;
  }
  return true;
}

// UTF-16 of a wide string; false for a value that is no character (surrogate, beyond U+10FFFF).
bool Utf16(const std::wstring& s, std::vector<std::uint16_t>& units) {
  units.clear();
  for (wchar_t c : s) {
    const std::uint32_t v = static_cast<std::uint32_t>(c);
    if (v >= 0xD800u && v <= 0xDFFFu) return false;
    if (v > 0x10FFFFu) return false;
    if (v < 0x10000u) {
      units.push_back(static_cast<std::uint16_t>(v));
    } else {
      const std::uint32_t w = v - 0x10000u;
      units.push_back(static_cast<std::uint16_t>(0xD800u | (w >> 10)));
      units.push_back(static_cast<std::uint16_t>(0xDC00u | (w & 0x3FFu)));
    }
  }
  return true;
}

rc::Gen<Bytes> HostValues(Kind k, int n) {
  const int hs = k == kLong ? static_cast<int>(sizeof(long)) : ElemSize(k);
  const int count = std::max(n, 0) * hs;
  if (k == kDouble)
    return rc::gen::map(rc::gen::container<std::vector<double>>(static_cast<size_t>(std::max(n, 0)), kvtest::AnyDouble()),
                        [](const std::vector<double>& v) {
                          Bytes b(v.size() * 8);
                          if (!v.empty()) std::memcpy(b.data(), v.data(), b.size());
                          return b;
                        });
  if (k == kLong)
    return rc::gen::map(
        rc::gen::container<std::vector<long>>(
            static_cast<size_t>(std::max(n, 0)),
            rc::gen::weightedOneOf<long>({{8, rc::gen::map(rc::gen::arbitrary<int>(), [](int i) { return static_cast<long>(i); })},
                                          {1, rc::gen::element<long>(INT32_MAX, INT32_MIN, 1L << 31, -(1L << 31) - 1,
                                                                     LONG_MAX, LONG_MIN)}})),
        [](const std::vector<long>& v) {
          Bytes b(v.size() * sizeof(long));
          if (!v.empty()) std::memcpy(b.data(), v.data(), b.size());
          return b;
        });
  return rc::gen::container<Bytes>(static_cast<size_t>(count), rc::gen::arbitrary<unsigned char>());
}

void CheckImage(const BinModel& m, const BinSut& s) {
  RC_ASSERT(kvtest::FdBytes(s.fd()) == m.image);
  // Writes go at the end: the descriptor stays there between commands.
  RC_ASSERT(CBF_ftell64(s.f) == static_cast<long long>(m.image.size()));
  RC_ASSERT(CBF_tell64(s.fd()) == static_cast<long long>(m.image.size()));
}

struct WriteElems : BinCmd {
  Kind kind = static_cast<Kind>(*rc::gen::inRange(0, 7));
  int n = *rc::gen::weightedOneOf<int>({{6, rc::gen::inRange(1, 6)}, {1, rc::gen::element(-1, 0, 257, 300)}});
  Bytes host = *HostValues(kind, n);
  int nulls = *rc::gen::weightedOneOf<int>({{8, rc::gen::just(0)}, {1, rc::gen::element(1, 2)}});  // 1 stream, 2 array

  bool Accepted() const { return nulls == 0 && n > 0 && (kind != kLong || LongFits(host, n)); }
  void apply(BinModel& m) const override {
    if (!Accepted()) return;
    EncodeElems(m.image, kind, host, n);
    Record r;
    r.kind = kind;
    r.n = n;
    r.host = host;
    m.records.push_back(r);
  }
  void run(const BinModel& m, BinSut& s) const override {
    FILE* f = nulls == 1 ? nullptr : s.f;
    const void* v = nulls == 2 ? nullptr : static_cast<const void*>(host.data());
    int r = 0;
    switch (kind) {
      case kInt: r = BF_fwrite_int(f, static_cast<const int*>(v), n); break;
      case kLong: r = BF_fwrite_long(f, static_cast<const long*>(v), n); break;
      case kHyper: r = BF_fwrite_hyper(f, static_cast<const long long*>(v), n); break;
      case kFloat: r = BF_fwrite_float(f, static_cast<const float*>(v), n); break;
      case kDouble: r = BF_fwrite_double(f, static_cast<const double*>(v), n); break;
      case kChar: r = BF_fwrite_char(f, static_cast<const char*>(v), n); break;
      default: r = BF_fwrite_tchar(f, static_cast<const std::uint16_t*>(v), n); break;
    }
    RC_ASSERT(r == (Accepted() ? 0 : -1));
    BinModel next = m;
    apply(next);
    CheckImage(next, s);
  }
  void show(std::ostream& os) const override {
    os << "BF_fwrite_" << kKindName[kind] << "(n=" << n << (nulls == 1 ? ", null f" : nulls == 2 ? ", null v" : "")
       << ", " << host.size() << " host bytes)";
  }
};

rc::Gen<std::string> AnyText() {
  return rc::gen::weightedOneOf<std::string>({
      {1, rc::gen::just(std::string())},
      {4, rc::gen::container<std::string>(rc::gen::inRange<char>(1, 127))},
      {2, rc::gen::map(rc::gen::container<std::vector<unsigned char>>(rc::gen::inRange<int>(1, 256)),
                       [](const std::vector<unsigned char>& v) { return std::string(v.begin(), v.end()); })},
  });
}

rc::Gen<std::wstring> AnyWide() {
  return rc::gen::container<std::wstring>(rc::gen::weightedOneOf<wchar_t>({
      {6, rc::gen::inRange<wchar_t>(1, 0x800)},
      {2, rc::gen::inRange<wchar_t>(0xE000, 0x10000)},
      {2, rc::gen::inRange<wchar_t>(0x10000, 0x110000)},
      {1, rc::gen::element<wchar_t>(0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0x110000, static_cast<wchar_t>(-1))},
  }));
}

struct WriteStr : BinCmd {
  std::string s = *AnyText();
  bool nullS = *rc::gen::weightedOneOf<bool>({{9, rc::gen::just(false)}, {1, rc::gen::just(true)}});
  void apply(BinModel& m) const override {
    if (nullS || s.empty()) return;
    PutBE(m.image, s.size(), 4);
    m.image.insert(m.image.end(), s.begin(), s.end());
    Record r;
    r.kind = kStr;
    r.str = s;
    m.records.push_back(r);
  }
  void run(const BinModel& m, BinSut& sut) const override {
    const int r = BF_fwrite_str(sut.f, nullS ? nullptr : s.c_str());
    RC_ASSERT(r == ((nullS || s.empty()) ? -1 : 0));
    BinModel next = m;
    apply(next);
    CheckImage(next, sut);
  }
  void show(std::ostream& os) const override { os << "BF_fwrite_str(" << (nullS ? "null" : rc::toString(s)) << ")"; }
};

struct WriteTstr : BinCmd {
  std::wstring s = *AnyWide();
  bool nullS = *rc::gen::weightedOneOf<bool>({{9, rc::gen::just(false)}, {1, rc::gen::just(true)}});
  bool Accepted(std::vector<std::uint16_t>& u) const { return !nullS && Utf16(s, u) && !u.empty(); }
  void apply(BinModel& m) const override {
    std::vector<std::uint16_t> u;
    if (!Accepted(u)) return;
    PutBE(m.image, u.size(), 4);
    for (auto x : u) PutBE(m.image, x, 2);
    Record r;
    r.kind = kTstr;
    r.wstr = s;
    m.records.push_back(r);
  }
  void run(const BinModel& m, BinSut& sut) const override {
    std::vector<std::uint16_t> u;
    const int r = BF_fwrite_tstr(sut.f, nullS ? nullptr : s.c_str());
    RC_ASSERT(r == (Accepted(u) ? 0 : -1));
    BinModel next = m;
    apply(next);
    CheckImage(next, sut);
  }
  void show(std::ostream& os) const override {
    os << "BF_fwrite_tstr(";
    if (nullS) os << "null";
    for (wchar_t c : s) os << std::hex << static_cast<unsigned>(c) << std::dec << ' ';
    os << ")";
  }
};

// The field writer: the width 2 always goes first (also before a refusal), then n units.
struct WriteMulti : BinCmd {
  std::wstring s = *AnyWide();
  int n = *rc::gen::inRange(-1, 12);
  bool nullS = *rc::gen::weightedOneOf<bool>({{9, rc::gen::just(false)}, {1, rc::gen::just(true)}});
  // The field takes the characters up to the terminator or the n-th, whichever comes first (a
  // field read back fills all n without a terminator); refused when they need more than n units.
  std::wstring Taken() const { return n > 0 ? s.substr(0, static_cast<size_t>(n)) : s; }
  bool Accepted(std::vector<std::uint16_t>& u) const {
    return !nullS && n > 0 && Utf16(Taken(), u) && static_cast<int>(u.size()) <= n;
  }
  void apply(BinModel& m) const override {
    PutBE(m.image, 2, 4);
    std::vector<std::uint16_t> u;
    if (!Accepted(u)) {
      Record r;
      r.kind = kMulti;
      r.n = -1;  // a width alone
      m.records.push_back(r);
      return;
    }
    for (int i = 0; i < n; ++i) PutBE(m.image, i < static_cast<int>(u.size()) ? u[static_cast<size_t>(i)] : 0, 2);
    Record r;
    r.kind = kMulti;
    r.n = n;
    r.wstr = Taken();
    m.records.push_back(r);
  }
  void run(const BinModel& m, BinSut& sut) const override {
    std::vector<std::uint16_t> u;
    const int r = BF_fwrite_multiplatform_char(sut.f, nullS ? nullptr : s.c_str(), n);
    RC_ASSERT(r == (Accepted(u) ? 0 : -1));
    BinModel next = m;
    apply(next);
    CheckImage(next, sut);
  }
  void show(std::ostream& os) const override {
    os << "BF_fwrite_multiplatform_char(n=" << n << ", ";
    if (nullS) os << "null";
    for (wchar_t c : s) os << std::hex << static_cast<unsigned>(c) << std::dec << ' ';
    os << ")";
  }
};

template <class T>
int TypedWrite(const Record& r, BinSut& s, const void* data, long long n) {
  const T* p = static_cast<const T*>(data);
  if (r.onFd)
    return r.longCount ? T_BF_write<T>(s.fd(), p, n, r.bigEndian) : T_BF_write<T>(s.fd(), p, static_cast<int>(n), r.bigEndian);
  return r.longCount ? T_BF_write<T>(s.f, p, n, r.bigEndian) : T_BF_write<T>(s.f, p, static_cast<int>(n), r.bigEndian);
}
template <class T>
int TypedRead(const Record& r, BinSut& s, void* data, long long n) {
  const T* p = static_cast<const T*>(data);
  if (r.onFd)
    return r.longCount ? T_BF_read<T>(s.fd(), p, n, r.bigEndian) : T_BF_read<T>(s.fd(), p, static_cast<int>(n), r.bigEndian);
  return r.longCount ? T_BF_read<T>(s.f, p, n, r.bigEndian) : T_BF_read<T>(s.f, p, static_cast<int>(n), r.bigEndian);
}
int TypedCall(bool write, const Record& r, BinSut& s, void* data, long long n) {
  switch (r.type) {
    case tChar: return write ? TypedWrite<char>(r, s, data, n) : TypedRead<char>(r, s, data, n);
    case tInt: return write ? TypedWrite<int>(r, s, data, n) : TypedRead<int>(r, s, data, n);
    case tLL: return write ? TypedWrite<long long>(r, s, data, n) : TypedRead<long long>(r, s, data, n);
    case tFloat: return write ? TypedWrite<float>(r, s, data, n) : TypedRead<float>(r, s, data, n);
    case tDouble: return write ? TypedWrite<double>(r, s, data, n) : TypedRead<double>(r, s, data, n);
    case tCFloat:
      return write ? TypedWrite<std::complex<float>>(r, s, data, n) : TypedRead<std::complex<float>>(r, s, data, n);
    default:
      return write ? TypedWrite<std::complex<double>>(r, s, data, n) : TypedRead<std::complex<double>>(r, s, data, n);
  }
}

// Typed arrays: the int-count forms refuse n <= 0; the 64-bit forms write nothing and succeed
// for n = 0 and refuse n < 0. Every element part goes in the order the flag picks.
struct WriteTyped : BinCmd {
  Record r = [] {
    Record x;
    x.kind = kTyped;
    x.type = static_cast<TType>(*rc::gen::inRange(0, 7));
    x.bigEndian = *rc::gen::arbitrary<bool>();
    x.longCount = *rc::gen::arbitrary<bool>();
    x.onFd = *rc::gen::arbitrary<bool>();
    x.n = *rc::gen::weightedOneOf<int>({{6, rc::gen::inRange(1, 5)}, {1, rc::gen::element(-1, 0, 300)}});
    const int bytes = std::max(x.n, 0) * kTypeSize[x.type];
    if (x.type == tDouble || x.type == tCDouble) {
      const auto d = *rc::gen::container<std::vector<double>>(static_cast<size_t>(bytes / 8), kvtest::AnyDouble());
      x.host.resize(static_cast<size_t>(bytes));
      if (bytes) std::memcpy(x.host.data(), d.data(), static_cast<size_t>(bytes));
    } else {
      x.host = *rc::gen::container<Bytes>(static_cast<size_t>(bytes), rc::gen::arbitrary<unsigned char>());
    }
    return x;
  }();
  bool nullData = *rc::gen::weightedOneOf<bool>({{12, rc::gen::just(false)}, {1, rc::gen::just(true)}});

  // 0 written and nothing appended, 1 written, -1 refused.
  int Outcome() const {
    if (r.n < 0) return -1;
    if (r.n == 0) return r.longCount && !(nullData && r.type >= tCFloat) ? 0 : -1;
    return nullData ? -1 : 1;
  }
  void apply(BinModel& m) const override {
    if (Outcome() != 1) return;
    const int part = kPartSize[r.type];
    const int parts = r.n * kTypeSize[r.type] / part;
    for (int i = 0; i < parts; ++i) {
      std::uint64_t u = 0;
      std::memcpy(&u, r.host.data() + static_cast<size_t>(i) * part, static_cast<size_t>(part));
      if (r.bigEndian)
        PutBE(m.image, u, part);
      else
        PutLE(m.image, u, part);
    }
    m.records.push_back(r);
  }
  void run(const BinModel& m, BinSut& s) const override {
    unsigned char none[16] = {};
    void* data = nullData ? nullptr : r.host.empty() ? static_cast<void*>(none) : const_cast<unsigned char*>(r.host.data());
    const int got = TypedCall(true, r, s, data, r.n);
    RC_ASSERT(got == (Outcome() == -1 ? -1 : 0));
    BinModel next = m;
    apply(next);
    CheckImage(next, s);
  }
  void show(std::ostream& os) const override {
    os << "T_BF_write<" << kTypeName[r.type] << ">(" << (r.onFd ? "fd" : "stream") << ", "
       << (nullData ? "null" : "data") << ", n=" << r.n << (r.longCount ? "LL" : "") << ", bigEndian=" << r.bigEndian
       << ")";
  }
};

// Reads every record back with its reader: each gives its values bit for bit; then nothing is
// left. Then the values read are written again to a second file: the same bytes.
struct ReadBack : BinCmd {
  void apply(BinModel&) const override {}
  void run(const BinModel& m, BinSut& s) const override {
    RC_ASSERT(CBF_lseek64(s.fd(), 0, SEEK_SET) == 0);
    kvtest::ScratchDir d2;
    const std::string p2 = d2.File("again.bin");
    BinSut again;  // owns the stream g from here on
    std::fclose(again.f);
    again.f = std::fopen(p2.c_str(), "w+b");
    RC_ASSERT((again.f != nullptr));
    FILE* g = again.f;
    for (const Record& r : m.records) {
      switch (r.kind) {
        case kInt: case kLong: case kHyper: case kFloat: case kDouble: case kChar: case kTchar: {
          Bytes got(r.host.size() + 8, 0xA5);
          int res = 0;
          void* v = got.data();
          switch (r.kind) {
            case kInt: res = BF_fread_int(s.f, static_cast<int*>(v), r.n); break;
            case kLong: res = BF_fread_long(s.f, static_cast<long*>(v), r.n); break;
            case kHyper: res = BF_fread_hyper(s.f, static_cast<long long*>(v), r.n); break;
            case kFloat: res = BF_fread_float(s.f, static_cast<float*>(v), r.n); break;
            case kDouble: res = BF_fread_double(s.f, static_cast<double*>(v), r.n); break;
            case kChar: res = BF_fread_char(s.f, static_cast<char*>(v), r.n); break;
            default: res = BF_fread_tchar(s.f, static_cast<std::uint16_t*>(v), r.n); break;
          }
          RC_ASSERT(res == 0);
          RC_ASSERT(std::memcmp(got.data(), r.host.data(), r.host.size()) == 0);
          for (size_t i = r.host.size(); i < got.size(); ++i) RC_ASSERT(got[i] == 0xA5);
          switch (r.kind) {
            case kInt: res = BF_fwrite_int(g, static_cast<int*>(v), r.n); break;
            case kLong: res = BF_fwrite_long(g, static_cast<long*>(v), r.n); break;
            case kHyper: res = BF_fwrite_hyper(g, static_cast<long long*>(v), r.n); break;
            case kFloat: res = BF_fwrite_float(g, static_cast<float*>(v), r.n); break;
            case kDouble: res = BF_fwrite_double(g, static_cast<double*>(v), r.n); break;
            case kChar: res = BF_fwrite_char(g, static_cast<char*>(v), r.n); break;
            default: res = BF_fwrite_tchar(g, static_cast<std::uint16_t*>(v), r.n); break;
          }
          RC_ASSERT(res == 0);
          break;
        }
        case kStr: {
          char* out = nullptr;
          RC_ASSERT(BF_fread_str(s.f, &out) == 0);
          RC_ASSERT((out != nullptr));
          const std::string got(out);
          kvelomem_free(out, __FILE__, __LINE__);
          RC_ASSERT(got == r.str);
          RC_ASSERT(BF_fwrite_str(g, got.c_str()) == 0);
          break;
        }
        case kTstr: {
          wchar_t* out = nullptr;
          RC_ASSERT(BF_fread_tstr(s.f, &out) == 0);
          RC_ASSERT((out != nullptr));
          const std::wstring got(out);
          kvelomem_free(out, __FILE__, __LINE__);
          RC_ASSERT(got == r.wstr);
          RC_ASSERT(BF_fwrite_tstr(g, got.c_str()) == 0);
          break;
        }
        case kMulti: {
          if (r.n < 0) {  // the width of a refused field
            int w = 0;
            RC_ASSERT(BF_fread_int(s.f, &w, 1) == 0);
            RC_ASSERT(w == 2);
            RC_ASSERT(BF_fwrite_int(g, &w, 1) == 0);
            break;
          }
          std::vector<wchar_t> dst(static_cast<size_t>(r.n) + 1, L'\x7F');
          RC_ASSERT(BF_fread_multiplatform_char(s.f, dst.data(), r.n) == 0);
          RC_ASSERT(dst[static_cast<size_t>(r.n)] == L'\x7F');
          dst[static_cast<size_t>(r.n)] = 0;
          RC_ASSERT(std::wstring(dst.data()) == r.wstr);
          for (size_t i = r.wstr.size(); i < static_cast<size_t>(r.n); ++i) RC_ASSERT(dst[i] == 0);
          RC_ASSERT(BF_fwrite_multiplatform_char(g, dst.data(), r.n) == 0);
          break;
        }
        case kTyped: {
          Bytes got(r.host.size() + 16, 0xA5);
          bool threw = false;
          try {
            RC_ASSERT(TypedCall(false, r, s, got.data(), r.n) == 0);
          } catch (const C_KveloException& e) {
            // Bytes have no order: a descriptor read asked to reverse them is refused after it.
            RC_ASSERT(e.getExceptionCode() == 2871);
            RC_ASSERT((r.type == tChar && r.onFd && r.bigEndian != (BF_EndianIsCorrect() == 1)));
            threw = true;
          }
          if (!threw) RC_ASSERT((r.type != tChar || !r.onFd || r.bigEndian == (BF_EndianIsCorrect() == 1)));
          RC_ASSERT(std::memcmp(got.data(), r.host.data(), r.host.size()) == 0);
          Record w = r;
          w.onFd = false;
          RC_ASSERT(TypedCall(true, w, again, got.data(), r.n) == 0);
          break;
        }
      }
    }
    int extra = 0;
    RC_ASSERT(BF_fread_int(s.f, &extra, 1) == -1);  // nothing left
    RC_ASSERT(kvtest::FdBytes(fileno(g)) == m.image);
    RC_ASSERT(CBF_lseek64(s.fd(), 0, SEEK_END) == static_cast<long long>(m.image.size()));
    CheckImage(m, s);
  }
  void show(std::ostream& os) const override { os << "ReadBack"; }
};

RC_GTEST_PROP(BinaryValues, WhatIsWrittenReadsBackAndWritesAgainByteForByte, ()) {
  kvtest::MsgCapture quiet;  // refusals trace; the harness reads results, not texts
  BinSut s;
  RC_ASSERT((s.f != nullptr));
  RC_ASSERT(BF_EndianIsCorrect() == 0);  // the little-endian target
  rc::state::check(BinModel{}, s,
                   rc::state::gen::execOneOfWithArgs<WriteElems, WriteStr, WriteTstr, WriteMulti, WriteTyped, ReadBack,
                                                     ReadBack>());
}

// ---------------------------------------------------------------------------------------------
// Readers on any bytes. Each reader is given bytes of a valid value, cut, garbled or claiming a
// huge length, from a regular file or a pipe. It must refuse or succeed; when it succeeds, its
// writer gives back exactly the bytes it consumed. The string readers take memory only for
// what arrives: the library heap's ceiling is set to what the bytes present can need.

enum ReaderKind { rStr, rTstr, rMulti, rInt, rLong, rDouble, rTchar };

Bytes GarbledValue(ReaderKind k) {
  Bytes b;
  const int mode = *rc::gen::inRange(0, 5);
  if (mode == 0) return *rc::gen::container<Bytes>(rc::gen::arbitrary<unsigned char>());
  // A length or width prefix, then units.
  std::uint32_t len;
  if (mode == 1)
    len = static_cast<std::uint32_t>(*rc::gen::element<std::int64_t>(std::int64_t{INT32_MAX}, std::int64_t{INT32_MIN}, std::int64_t{-1}, std::int64_t{0x7FFFFFF0}, std::int64_t{1 << 20}));
  else
    len = static_cast<std::uint32_t>(*rc::gen::inRange(0, 12));
  if (k == rMulti && mode >= 2) len = *rc::gen::element<std::uint32_t>(2, 2, 2, 1, 3, 0);
  PutBE(b, len, 4);
  const int unit = k == rStr ? 1 : 2;
  const int units = *rc::gen::inRange(0, 16);
  for (int i = 0; i < units; ++i) {
    if (unit == 1) {
      b.push_back(*rc::gen::weightedOneOf<unsigned char>(
          {{6, rc::gen::inRange<unsigned char>(1, 255)}, {1, rc::gen::just<unsigned char>(0)}}));
    } else {
      PutBE(b, *rc::gen::weightedOneOf<std::uint16_t>({{6, rc::gen::inRange<std::uint16_t>(1, 0xD800)},
                                                       {1, rc::gen::inRange<std::uint16_t>(0xD800, 0xE000)},
                                                       {1, rc::gen::just<std::uint16_t>(0)}}),
            2);
    }
  }
  return b;
}

// Feeds bytes to a reader through a regular file or a pipe; the result, what the writer gives
// back for the value read (when accepted), and the bytes consumed (regular file only).
struct ReaderRun {
  int result = 0;
  bool reWritten = false;
  Bytes again;
  long long consumed = -1;
  std::string delivered;    // str: what *out held
  std::wstring wdelivered;  // tstr
  bool outNull = true;
  bool zeroInside = false;  // str: a zero byte inside the text read
};

ReaderRun RunReader(ReaderKind k, const Bytes& in, bool pipeIn, int multiN) {
  ReaderRun rr;
  kvtest::ScratchDir d;
  FILE* f = nullptr;
  if (pipeIn) {
    int p[2];
    RC_ASSERT(pipe(p) == 0);
    if (!in.empty()) RC_ASSERT(write(p[1], in.data(), in.size()) == static_cast<ssize_t>(in.size()));
    close(p[1]);
    f = fdopen(p[0], "rb");
  } else {
    const std::string path = d.File("in.bin");
    kvtest::PutFileBytes(path, in);
    f = std::fopen(path.c_str(), "rb");
  }
  RC_ASSERT((f != nullptr));
  const std::string outPath = d.File("out.bin");
  FILE* g = std::fopen(outPath.c_str(), "w+b");
  RC_ASSERT((g != nullptr));
  switch (k) {
    case rStr: {
      char* out = nullptr;
      rr.result = BF_fread_str(f, &out);
      rr.outNull = out == nullptr;
      if (out) rr.delivered = out;
      if (rr.result == 0 && out) rr.reWritten = BF_fwrite_str(g, out) == 0;
      if (rr.result == 0 && !out) rr.reWritten = true;  // a stored length of 0: nothing to write
      // A text holding a zero byte comes back whole, as its header says (the message database
      // stores its pieces so): as a C string it is shorter than stored, and writes back so.
      if (rr.result == 0 && out && in.size() >= 4) {
        const std::uint32_t L = (std::uint32_t{in[0]} << 24) | (std::uint32_t{in[1]} << 16) |
                                (std::uint32_t{in[2]} << 8) | in[3];
        rr.zeroInside = std::strlen(out) < L;
        if (rr.zeroInside) RC_ASSERT(std::memcmp(out, in.data() + 4, L) == 0);
        if (rr.zeroInside) rr.reWritten = true;  // "\0" alone is the empty C string: nothing to write
      }
      kvelomem_free(out, __FILE__, __LINE__);
      break;
    }
    case rTstr: {
      wchar_t* out = nullptr;
      rr.result = BF_fread_tstr(f, &out);
      rr.outNull = out == nullptr;
      if (out) rr.wdelivered = out;
      if (rr.result == 0 && out) rr.reWritten = BF_fwrite_tstr(g, out) == 0;
      if (rr.result == 0 && !out) rr.reWritten = true;
      kvelomem_free(out, __FILE__, __LINE__);
      break;
    }
    case rMulti: {
      std::vector<wchar_t> dst(static_cast<size_t>(multiN) + 1, L'\x7F');
      rr.result = BF_fread_multiplatform_char(f, dst.data(), multiN);
      RC_ASSERT(dst[static_cast<size_t>(multiN)] == L'\x7F');
      if (rr.result == 0) rr.reWritten = BF_fwrite_multiplatform_char(g, dst.data(), multiN) == 0;
      break;
    }
    case rInt: {
      int v[3];
      rr.result = BF_fread_int(f, v, 3);
      if (rr.result == 0) rr.reWritten = BF_fwrite_int(g, v, 3) == 0;
      break;
    }
    case rLong: {
      long v[3];
      rr.result = BF_fread_long(f, v, 3);
      if (rr.result == 0) rr.reWritten = BF_fwrite_long(g, v, 3) == 0;
      break;
    }
    case rDouble: {
      double v[2];
      rr.result = BF_fread_double(f, v, 2);
      if (rr.result == 0) rr.reWritten = BF_fwrite_double(g, v, 2) == 0;
      break;
    }
    case rTchar: {
      std::uint16_t v[3];
      rr.result = BF_fread_tchar(f, v, 3);
      if (rr.result == 0) rr.reWritten = BF_fwrite_tchar(g, v, 3) == 0;
      break;
    }
  }
  if (!pipeIn) rr.consumed = CBF_ftell64(f);
  rr.again = kvtest::FdBytes(fileno(g));
  std::fclose(g);
  std::fclose(f);
  return rr;
}

const char* const kReaderName[] = {"str", "tstr", "multi", "int[3]", "long[3]", "double[2]", "tchar[3]"};

RC_GTEST_PROP(BinaryValues, ReadersOfAnyBytesRefuseOrGiveWhatTheirWriterWritesBack, ()) {
  kvtest::MsgCapture quiet;  // refusals trace; the harness reads results, not texts
  const ReaderKind k = static_cast<ReaderKind>(*rc::gen::inRange(0, 7));
  const Bytes in = GarbledValue(k);
  const bool pipeIn = *rc::gen::arbitrary<bool>();
  const int multiN = *rc::gen::inRange(1, 10);
  RC_LOG() << kReaderName[k] << (pipeIn ? " from a pipe" : " from a file") << ", n=" << multiN << ", "
           << rc::toString(in) << "\n";
  // Memory only for what arrives: no block above what the bytes present can fill (one first
  // block of a pipe read allowed), whatever the length claims.
  const size_t ceiling = (in.size() + 1) * sizeof(wchar_t) + (pipeIn ? (65536 + 1) * sizeof(wchar_t) : 64);
  kvrt::SetHeapBlockLimit(ceiling);
  ReaderRun rr;
  try {
    rr = RunReader(k, in, pipeIn, multiN);
  } catch (...) {
    kvrt::SetHeapBlockLimit(0);
    throw;
  }
  kvrt::SetHeapBlockLimit(0);
  RC_ASSERT((rr.result == 0 || rr.result == -1));
  if (rr.result == 0) {
    RC_ASSERT(rr.reWritten);
    if (!pipeIn) {
      // What the writer gives back is what the reader consumed.
      RC_ASSERT(rr.consumed >= 0);
      const Bytes used(in.begin(), in.begin() + rr.consumed);
      if (!((k == rStr || k == rTstr) && rr.outNull) && !rr.zeroInside) RC_ASSERT(rr.again == used);
    }
  }
  // A cut string hands back the characters that arrived; with the ceiling above, a huge claimed
  // length that was allocated up front would have been refused instead.
  if (k == rStr && rr.result == -1 && !rr.outNull && in.size() >= 4) {
    const std::string arrived(in.begin() + 4, in.end());
    RC_ASSERT(arrived.compare(0, rr.delivered.size(), rr.delivered) == 0);
  }
}

// Short of memory the string readers give -1 and no string, or the part read.
RC_GTEST_PROP(BinaryValues, StringReadersShortOfMemory, ()) {
  kvtest::MsgCapture quiet;  // refusals trace; the harness reads results, not texts
  const std::string s = *rc::gen::nonEmpty(rc::gen::container<std::string>(rc::gen::inRange<char>(1, 127)));
  const bool wide = *rc::gen::arbitrary<bool>();
  const long allowed = *rc::gen::inRange(0, 2);
  kvtest::ScratchDir d;
  const std::string path = d.File("s.bin");
  FILE* f = std::fopen(path.c_str(), "w+b");
  RC_ASSERT((f != nullptr));
  const std::wstring ws(s.begin(), s.end());
  RC_ASSERT((wide ? BF_fwrite_tstr(f, ws.c_str()) : BF_fwrite_str(f, s.c_str())) == 0);
  RC_ASSERT(CBF_fseek64(f, 0, SEEK_SET) == 0);
  kvrt::SetHeapBlocksLeft(allowed);
  int r;
  void* out = nullptr;
  if (wide)
    r = BF_fread_tstr(f, reinterpret_cast<wchar_t**>(&out));
  else
    r = BF_fread_str(f, reinterpret_cast<char**>(&out));
  const bool ranOut = kvrt::HeapBlocksRanOut();
  kvrt::SetHeapBlocksLeft(-1);
  std::fclose(f);
  if (ranOut) {
    RC_ASSERT(r == -1);
  } else {
    RC_ASSERT(r == 0);
    RC_ASSERT((out != nullptr));
  }
  kvelomem_free(out, __FILE__, __LINE__);
}

// ---------------------------------------------------------------------------------------------
// The 64-bit wrappers on one descriptor and one stream over the same file: a model of the bytes
// and of the position. Refused calls (element size 0, null buffer, negative count, more than
// 2^31-1 bytes) give 0 and move nothing.

struct WrapModel {
  Bytes image;
  long long pos = 0;
};
struct WrapSut {
  kvtest::ScratchDir dir;
  std::string path;
  int fd = -1;
  FILE* f = nullptr;
  WrapSut() {
    path = dir.File("wrap.bin");
    const std::wstring w(path.begin(), path.end());
    fd = CBF_open64(w.c_str(), O_RDWR | O_CREAT | O_TRUNC);
    f = fd >= 0 ? fdopen(dup(fd), "r+b") : nullptr;
  }
  ~WrapSut() {
    if (f) RC_ASSERT(CBF_fclose64(f) == 0);
    if (fd >= 0) RC_ASSERT(CBF_close64(fd) == 0);
  }
};
using WrapCmd = rc::state::Command<WrapModel, WrapSut>;

void CheckWrap(const WrapModel& m, const WrapSut& s) {
  RC_ASSERT(kvtest::FdBytes(s.fd) == m.image);
  RC_ASSERT(CBF_tell64(s.fd) == m.pos);
  RC_ASSERT(CBF_ftell64(s.f) == m.pos);  // the stream's descriptor shares the position
}

struct WrapWrite : WrapCmd {
  int size = *rc::gen::element(0, 1, 2, 4, 8);
  int count = *rc::gen::weightedOneOf<int>({{8, rc::gen::inRange(0, 6)}, {1, rc::gen::element(-1, INT_MAX)}});
  bool viaStream = *rc::gen::arbitrary<bool>();
  bool nullBuf = *rc::gen::weightedOneOf<bool>({{9, rc::gen::just(false)}, {1, rc::gen::just(true)}});
  Bytes data = *rc::gen::container<Bytes>(static_cast<size_t>(size * std::max(0, std::min(count, 6))),
                                          rc::gen::arbitrary<unsigned char>());
  bool Refused() const {
    return size == 0 || nullBuf || count < 0 || static_cast<long long>(size) * count > INT_MAX;
  }
  // A huge count is only drawn to be refused: no buffer here could back it. A position far past
  // the end is only seeked to and told, never written at (the file would be gigabytes).
  void checkPreconditions(const WrapModel& m) const override {
    RC_PRE(!(count > 6 && !Refused()));
    RC_PRE(m.pos <= static_cast<long long>(m.image.size()) + 64);
  }
  void apply(WrapModel& m) const override {
    if (Refused() || count == 0) return;
    if (m.image.size() < static_cast<size_t>(m.pos)) m.image.resize(static_cast<size_t>(m.pos), 0);
    for (size_t i = 0; i < data.size(); ++i) {
      const size_t at = static_cast<size_t>(m.pos) + i;
      if (at < m.image.size())
        m.image[at] = data[i];
      else
        m.image.push_back(data[i]);
    }
    m.pos += static_cast<long long>(data.size());
  }
  void run(const WrapModel& m, WrapSut& s) const override {
    const void* b = nullBuf ? nullptr : static_cast<const void*>(data.empty() ? nullptr : data.data());
    if (!nullBuf && data.empty()) b = &s;  // any address: nothing is read from it
    const size_t r = viaStream ? CBF_fwrite64(b, static_cast<size_t>(size), count, s.f)
                               : CBF_write64(b, static_cast<size_t>(size), count, s.fd);
    RC_ASSERT(r == (Refused() ? 0u : static_cast<size_t>(count)));
    WrapModel next = m;
    apply(next);
    CheckWrap(next, s);
  }
  void show(std::ostream& os) const override {
    os << (viaStream ? "CBF_fwrite64" : "CBF_write64") << "(size=" << size << ", count=" << count
       << (nullBuf ? ", null" : "") << ")";
  }
};

struct WrapRead : WrapCmd {
  int size = *rc::gen::element(0, 1, 2, 4, 8);
  int count = *rc::gen::weightedOneOf<int>({{8, rc::gen::inRange(0, 6)}, {1, rc::gen::element(-1, INT_MAX)}});
  bool viaStream = *rc::gen::arbitrary<bool>();
  bool nullBuf = *rc::gen::weightedOneOf<bool>({{9, rc::gen::just(false)}, {1, rc::gen::just(true)}});
  bool Refused() const {
    return size == 0 || nullBuf || count < 0 || static_cast<long long>(size) * count > INT_MAX;
  }
  void checkPreconditions(const WrapModel&) const override { RC_PRE(!(count > 6 && !Refused())); }
  void apply(WrapModel& m) const override {
    if (Refused()) return;
    const long long left = std::max<long long>(0, static_cast<long long>(m.image.size()) - m.pos);
    const long long want = static_cast<long long>(size) * count;
    m.pos += std::min(left, want);
  }
  void run(const WrapModel& m, WrapSut& s) const override {
    const int n = std::min(count, 6);
    std::vector<unsigned char> buf(static_cast<size_t>(size) * static_cast<size_t>(std::max(n, 0)) + 8, 0xA5);
    void* b = nullBuf ? nullptr : buf.data();
    const size_t r = viaStream ? CBF_fread64(b, static_cast<size_t>(size), count, s.f)
                               : CBF_read64(b, static_cast<size_t>(size), count, s.fd);
    if (Refused()) {
      RC_ASSERT(r == 0u);
    } else {
      const long long left = std::max<long long>(0, static_cast<long long>(m.image.size()) - m.pos);
      const long long got = std::min(left, static_cast<long long>(size) * count);
      RC_ASSERT(r == static_cast<size_t>(got / size));
      for (long long i = 0; i < got; ++i) RC_ASSERT(buf[static_cast<size_t>(i)] == m.image[static_cast<size_t>(m.pos + i)]);
    }
    WrapModel next = m;
    apply(next);
    CheckWrap(next, s);
  }
  void show(std::ostream& os) const override {
    os << (viaStream ? "CBF_fread64" : "CBF_read64") << "(size=" << size << ", count=" << count
       << (nullBuf ? ", null" : "") << ")";
  }
};

struct WrapSeek : WrapCmd {
  long long off = *rc::gen::weightedOneOf<long long>({{6, rc::gen::inRange<long long>(-4, 20)},
                                                      {1, rc::gen::element<long long>(-100, LLONG_MIN, 5000000000LL)}});
  int whence = *rc::gen::element(SEEK_SET, SEEK_CUR, SEEK_END);
  bool viaStream = *rc::gen::arbitrary<bool>();
  long long Target(const WrapModel& m) const {
    const long long base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m.pos : static_cast<long long>(m.image.size());
    if (off == LLONG_MIN) return -1;
    return base + off;
  }
  void apply(WrapModel& m) const override {
    const long long t = Target(m);
    if (t >= 0) m.pos = t;
  }
  void run(const WrapModel& m, WrapSut& s) const override {
    const long long t = Target(m);
    const long long r = viaStream ? CBF_fseek64(s.f, off, whence) : CBF_lseek64(s.fd, off, whence);
    if (t < 0)
      RC_ASSERT(r == -1);
    else
      RC_ASSERT(r == (viaStream ? 0 : t));
    WrapModel next = m;
    apply(next);
    CheckWrap(next, s);
  }
  void show(std::ostream& os) const override {
    os << (viaStream ? "CBF_fseek64" : "CBF_lseek64") << "(" << off << ", " << whence << ")";
  }
};

RC_GTEST_PROP(FileWrappers, TransfersAndPositionsFollowTheModel, ()) {
  kvtest::MsgCapture quiet;  // refusals trace; the harness reads results, not texts
  WrapSut s;
  RC_ASSERT(s.fd >= 0);
  RC_ASSERT((s.f != nullptr));
  rc::state::check(WrapModel{}, s, rc::state::gen::execOneOfWithArgs<WrapWrite, WrapRead, WrapSeek>());
}

TEST(FileWrappers, NullAndMissingAreFailures) {
  EXPECT_EQ(CBF_fclose64(nullptr), EOF);
  EXPECT_EQ(CBF_close64(-1), -1);
  EXPECT_EQ(CBF_lseek64(-1, 0, SEEK_SET), -1);
  EXPECT_EQ(CBF_tell64(-1), -1);
  EXPECT_EQ(CBF_fopen64(L"/nonexistent-dir-kvelo/x", L"rb"), nullptr);
  EXPECT_EQ(CBF_open64(L"/nonexistent-dir-kvelo/x", O_RDONLY), -1);
  EXPECT_EQ(CBF_fopen64(nullptr, L"rb"), nullptr);
}

// =============================================================================================
// Keyword files, against a reader written here from the documented rules (lines shorter than
// the 255-character buffer; a few longer lines only carry filler).

bool WordCh(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at < text.size()) {
    const size_t nl = text.find('\n', at);
    const size_t end = nl == std::string::npos ? text.size() : nl + 1;
    out.push_back(text.substr(at, end - at));
    at = end;
  }
  return out;
}

// The useful-line rule of ligne_utile, over a whole line.
bool Useful(const std::string& line) {
  if (line.empty()) return true;
  if (line[0] == '\n' || line[0] == '#') return false;
  const size_t len = std::strlen(line.c_str());
  size_t spaces = 0;
  while (spaces < line.size() && line[spaces] == ' ') ++spaces;
  return len != spaces + 1;
}

bool WordAt(const std::string& line, size_t at, const std::string& k) {
  if (line.compare(at, k.size(), k) != 0) return false;
  const bool before = at > 0 && WordCh(k[0]) && WordCh(line[at - 1]);
  const bool after = at + k.size() < line.size() && WordCh(k.back()) && WordCh(line[at + k.size()]);
  return !before && !after;
}

bool Mentions(const std::string& line, const std::string& k) {
  if (k.empty()) return false;
  for (size_t at = line.find(k); at != std::string::npos; at = line.find(k, at + 1))
    if (WordAt(line, at, k)) return true;
  return false;
}

bool IsSetting(const std::string& line, const std::string& k) {
  return !k.empty() && Useful(line) && WordAt(line, 0, k) && Mentions(line, k);
}

// What lire_valeur_mot_cle gives for one setting line: 1 (value), 0 or -1.
int SettingValue(const std::string& line, const std::string& k, int* value) {
  size_t i = k.size();
  while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
  if (i >= line.size() || line[i] == '\0') return -1;
  bool neg = false;
  if (line[i] == '+' || line[i] == '-') neg = line[i++] == '-';
  if (i >= line.size() || !std::isdigit(static_cast<unsigned char>(line[i]))) return 0;
  long long mag = 0;
  for (; i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])); ++i) {
    mag = mag * 10 + (line[i] - '0');
    if (mag > 1LL << 32) return 0;
  }
  const long long v = neg ? -mag : mag;
  if (v < INT_MIN || v > INT_MAX) return 0;
  *value = static_cast<int>(v);
  return 1;
}

int SettingYes(const std::string& line, const std::string& k, int* yes) {
  size_t i = k.size();
  while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
  *yes = 0;
  if (i >= line.size() || line[i] == '\0') return -1;
  const char c = line[i];
  *yes = (c == 'O' || c == 'Y' || c == 'o' || c == 'y') ? 1 : 0;
  return 1;
}

struct KwModel {
  bool exists = false;
  std::string text;
};
struct KwSut {
  kvtest::ScratchDir dir;
  std::string path;
  KwSut() { path = dir.File("settings.txt"); }
};
using KwCmd = rc::state::Command<KwModel, KwSut>;

const std::vector<std::string>& Keywords() {
  static const std::vector<std::string> k = {"niter", "A", "xniter", "ni", "NB_MAX", "NB", "a.b", "-x", ""};
  return k;
}

rc::Gen<std::string> KwLine() {
  return rc::gen::weightedOneOf<std::string>({
      {6, rc::gen::map(rc::gen::pair(rc::gen::elementOf(Keywords()),
                                     rc::gen::element<std::string>(" 5", " -12", " 0007", " yes", " non", "", " ",
                                                                   "\t3", " 99999999999", " +4", "=3", "x 1", " 2x")),
                       [](const std::pair<std::string, std::string>& p) { return p.first + p.second; })},
      {2, rc::gen::element<std::string>("# niter 3", "  niter 4", "see niter 6", "x", "   ", "", "#", "NB_MAX 1 NB 2",
                                        std::string(300, 'z'), "\tniter 8", "A", "niter", "xniter 5")},
  });
}

void CheckKw(const KwModel& m, const KwSut& s) {
  bool found = false;
  const kvtest::Bytes b = kvtest::FileBytes(s.path, &found);
  RC_ASSERT(found == m.exists);
  RC_ASSERT(std::string(b.begin(), b.end()) == m.text);
  RC_ASSERT(!kvtest::FileBytes(s.path + ".tmp", &found).size());
  RC_ASSERT(!found);
}

// Raw text appended to the file (or the file created), to reach every shape of file.
struct KwAppend : KwCmd {
  std::string line = *KwLine();
  bool newline = *rc::gen::weightedOneOf<bool>({{3, rc::gen::just(true)}, {1, rc::gen::just(false)}});
  void apply(KwModel& m) const override {
    m.exists = true;
    m.text += line + (newline ? "\n" : "");
  }
  void run(const KwModel& m, KwSut& s) const override {
    FILE* f = std::fopen(s.path.c_str(), "ab");
    RC_ASSERT((f != nullptr));
    std::fputs((line + (newline ? "\n" : "")).c_str(), f);
    std::fclose(f);
    KwModel next = m;
    apply(next);
    CheckKw(next, s);
  }
  void show(std::ostream& os) const override { os << "append " << rc::toString(line + (newline ? "\n" : "")); }
};

// A bare keyword as the last line, without newline: no setting now, one once a newline follows.
struct KwBareTail : KwCmd {
  std::string keyword = *rc::gen::elementOf(Keywords());
  void apply(KwModel& m) const override {
    if (m.exists && !m.text.empty() && m.text.back() != '\n') m.text += "\n";
    m.exists = true;
    m.text += keyword;
  }
  void run(const KwModel& m, KwSut& s) const override {
    KwModel next = m;
    apply(next);
    kvtest::PutFileBytes(s.path, kvtest::Bytes(next.text.begin(), next.text.end()));
    CheckKw(next, s);
  }
  void show(std::ostream& os) const override { os << "bare last line " << rc::toString(keyword); }
};

// The rewrite as documented: the line alone for a missing file; every setting replaced by the
// line and a newline; none: the line and a newline appended (after a newline when the last
// line lacked one). A last line without newline is judged as the line the rewrite makes of
// it (with its newline) whenever the rewrite gives it one.
std::string Rewritten(const KwModel& m, const std::string& k, const std::string& line, bool* found) {
  *found = false;
  if (!m.exists) return line;
  const std::vector<std::string> lines = SplitLines(m.text);
  for (size_t i = 0; i < lines.size(); ++i)
    if (IsSetting(lines[i], k)) *found = true;
  std::string out;
  if (*found) {
    for (const std::string& l : lines) out += IsSetting(l, k) ? line + "\n" : l;
    return out;
  }
  // Appending: a last line without newline gets one, and may become a setting by it.
  if (!lines.empty() && lines.back().back() != '\n') {
    const std::string completed = lines.back() + "\n";
    if (IsSetting(completed, k)) {
      *found = true;
      for (size_t i = 0; i + 1 < lines.size(); ++i) out += lines[i];
      return out + line + "\n";
    }
  }
  out = m.text;
  if (!out.empty() && out.back() != '\n') out += "\n";
  return out + line + "\n";
}

struct KwSubstitute : KwCmd {
  std::string keyword = *rc::gen::elementOf(Keywords());
  std::string line = *rc::gen::weightedOneOf<std::string>(
      {{5, rc::gen::map(rc::gen::inRange(-30, 3000), [](int v) { return std::string(" ") + std::to_string(v); })},
       {1, rc::gen::element<std::string>(" yes", " no", "", "_2 3")}});
  bool nullKeyword = *rc::gen::weightedOneOf<bool>({{12, rc::gen::just(false)}, {1, rc::gen::just(true)}});

  std::string Line() const { return keyword + line; }
  bool Refused() const { return nullKeyword || keyword.empty(); }
  void apply(KwModel& m) const override {
    if (Refused()) return;
    bool found;
    m.text = Rewritten(m, keyword, Line(), &found);
    m.exists = true;
  }
  void run(const KwModel& m, KwSut& s) const override {
    int found = -7;
    const int r = subsitue_mot_cle(s.path.c_str(), nullKeyword ? nullptr : keyword.c_str(), &found, Line().c_str());
    if (Refused()) {
      RC_ASSERT(r == -1);
      CheckKw(m, s);
      return;
    }
    RC_ASSERT(r == 0);
    bool expectFound;
    Rewritten(m, keyword, Line(), &expectFound);
    RC_ASSERT(found == (expectFound ? 1 : 0));
    KwModel next = m;
    apply(next);
    CheckKw(next, s);
    // Every setting of the keyword now reads the new value, and there is one at least
    // (a missing file holds the line alone, without newline: no setting by the line rule when
    // it is one character).
    FILE* f = std::fopen(s.path.c_str(), "r");
    RC_ASSERT((f != nullptr));
    char buf[256];
    int seen = 0;
    int ref = 0;
    const int refResult = SettingValue(Line() + "\n", keyword, &ref);
    for (;;) {
      int fnd = 0, v = 123456;
      const int got = lire_valeur_mot_cle(f, keyword.c_str(), &fnd, buf, &v);
      if (!fnd) break;
      ++seen;
      RC_ASSERT(got == refResult);
      if (got == 1) RC_ASSERT(v == ref);
    }
    std::fclose(f);
    int settings = 0;
    for (const std::string& l : SplitLines(next.text))
      if (IsSetting(l, keyword)) ++settings;
    RC_ASSERT(seen == settings);
  }
  void show(std::ostream& os) const override {
    os << "subsitue_mot_cle(" << (nullKeyword ? "null" : rc::toString(keyword)) << ", " << rc::toString(Line()) << ")";
  }
};

// Reads every setting, mention and useful line with the library and with the reference.
struct KwRead : KwCmd {
  std::string keyword = *rc::gen::elementOf(Keywords());
  int which = *rc::gen::inRange(0, 5);
  void apply(KwModel&) const override {}
  void run(const KwModel& m, KwSut& s) const override {
    FILE* f = std::fopen(s.path.c_str(), "r");
    if (!m.exists) {
      RC_ASSERT((f == nullptr));
      return;
    }
    RC_ASSERT((f != nullptr));
    std::unique_ptr<FILE, int (*)(FILE*)> hold(f, std::fclose);
    const std::vector<std::string> lines = SplitLines(m.text);
    char buf[256];
    const char* k = keyword.c_str();
    if (which == 0 || which == 1) {  // values
      for (const std::string& l : lines) {
        if (!IsSetting(l, keyword)) continue;
        int fnd = 0, v = 77, yes = 5, refV = 77, refYes = 0;
        const int got = which == 0 ? lire_valeur_mot_cle(f, k, &fnd, buf, &v) : lire_valeur_mot_cle_yn(f, k, &fnd, buf, &yes);
        RC_ASSERT(fnd == 1);
        if (which == 0) {
          RC_ASSERT(got == SettingValue(l, keyword, &refV));
          RC_ASSERT(v == refV);
        } else {
          RC_ASSERT(got == SettingYes(l, keyword, &refYes));
          RC_ASSERT(yes == refYes);
        }
      }
      int fnd = 9, v = 77;
      RC_ASSERT((which == 0 ? lire_valeur_mot_cle(f, k, &fnd, buf, &v) : lire_valeur_mot_cle_yn(f, k, &fnd, buf, &v)) == 0);
      RC_ASSERT(fnd == 0);
      RC_ASSERT(v == (which == 0 ? 77 : 0));
    } else if (which == 2) {  // mentions
      for (const std::string& l : lines) {
        if (!Useful(l) || !Mentions(l, keyword)) continue;
        int fnd = 0;
        const char* at = cherche_mot_cle(f, k, &fnd, buf);
        RC_ASSERT(fnd == 1);
        RC_ASSERT((at != nullptr));
        RC_ASSERT(std::strncmp(at, k, keyword.size()) == 0);
        // A longer line leaves in the buffer the run holding the keyword.
        if (l.size() <= 255) RC_ASSERT(std::string(buf) == l);
      }
      int fnd = 9;
      RC_ASSERT((cherche_mot_cle(f, k, &fnd, buf) == nullptr));
      RC_ASSERT(fnd == 0);
    } else if (which == 3) {  // useful lines
      for (const std::string& l : lines) {
        RC_ASSERT(ligne_utile(l.c_str()) == (Useful(l) ? 1 : 0));
        if (!Useful(l)) continue;
        RC_ASSERT(ligne_suivante(buf, f) == 1);
        RC_ASSERT(std::string(buf) == std::string(l.c_str()).substr(0, 255));
      }
      RC_ASSERT(ligne_suivante(buf, f) == 0);
      RC_ASSERT(buf[0] == '\0');
    } else {  // skipjunk: white space and '#' lines go, the next character stays
      size_t i = 0;
      const std::string& t = m.text;
      for (;;) {
        while (i < t.size() && std::isspace(static_cast<unsigned char>(t[i]))) ++i;
        if (i < t.size() && t[i] == '#') {
          while (i < t.size() && t[i] != '\n') ++i;
          continue;
        }
        break;
      }
      RC_ASSERT(skipjunk(f) == 0);
      const int c = std::getc(f);
      RC_ASSERT(c == (i < t.size() ? static_cast<unsigned char>(t[i]) : EOF));
    }
  }
  void show(std::ostream& os) const override {
    static const char* const w[] = {"lire_valeur_mot_cle", "lire_valeur_mot_cle_yn", "cherche_mot_cle",
                                    "ligne_suivante", "skipjunk"};
    os << w[which] << "(" << rc::toString(keyword) << ")";
  }
};

RC_GTEST_PROP(KeywordFiles, RewritesAndReadsFollowTheRules, ()) {
  kvtest::MsgCapture quiet;  // refusals trace; the harness reads results, not texts
  KwSut s;
  rc::state::check(KwModel{}, s, rc::state::gen::execOneOfWithArgs<KwAppend, KwAppend, KwBareTail, KwSubstitute, KwSubstitute, KwRead>());
}

// A file of any lines, ending with or without a newline (a bare keyword as its last line
// among others): after a successful rewrite every setting of the keyword reads the new value.
RC_GTEST_PROP(KeywordFiles, AfterARewriteEverySettingReadsTheNewValue, ()) {
  const int count = *rc::gen::inRange(0, 5);
  const std::vector<std::string> lines = *rc::gen::container<std::vector<std::string>>(static_cast<size_t>(count), KwLine());
  const std::string keyword = *rc::gen::elementOf(Keywords());
  RC_PRE(!keyword.empty());
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  if (*rc::gen::arbitrary<bool>()) text += *rc::gen::weightedOneOf<std::string>({{3, rc::gen::just(keyword)}, {1, KwLine()}});
  const int value = *rc::gen::inRange(-5, 500);
  KwSut s;
  kvtest::PutFileBytes(s.path, kvtest::Bytes(text.begin(), text.end()));
  int found = -1;
  const std::string line = keyword + " " + std::to_string(value);
  RC_ASSERT(subsitue_mot_cle(s.path.c_str(), keyword.c_str(), &found, line.c_str()) == 0);
  FILE* f = std::fopen(s.path.c_str(), "r");
  RC_ASSERT((f != nullptr));
  char buf[256];
  int seen = 0;
  for (;;) {
    int fnd = 0, v = -99999;
    const int r = lire_valeur_mot_cle(f, keyword.c_str(), &fnd, buf, &v);
    if (!fnd) break;
    ++seen;
    RC_ASSERT(r == 1);
    RC_ASSERT(v == value);
  }
  std::fclose(f);
  RC_ASSERT(seen >= (line.find_first_not_of("-0123456789 ", keyword.size()) == std::string::npos &&
                             WordCh(keyword.back())
                         ? 1
                         : 0));
}

// A failed rewrite (a directory named like the temporary file) leaves the keyword file whole.
TEST(KeywordFiles, ARewriteThatCannotWriteChangesNothing) {
  kvtest::ScratchDir d;
  const std::string p = d.File("k.txt");
  kvtest::PutFileBytes(p, {'n', 'i', 't', 'e', 'r', ' ', '1', '\n'});
  ASSERT_EQ(mkdir((p + ".tmp").c_str(), 0700), 0);
  int found = 5;
  EXPECT_EQ(subsitue_mot_cle(p.c_str(), "niter", &found, "niter 2"), -1);
  const kvtest::Bytes b = kvtest::FileBytes(p);
  EXPECT_EQ(std::string(b.begin(), b.end()), "niter 1\n");
}

// ---------------------------------------------------------------------------------------------
// Path parts and blanks against transcriptions of their rules; out may be the path itself.

std::wstring RefFile(const std::wstring& p) {
  size_t c = p.rfind(L'/');
  if (c == std::wstring::npos) c = p.rfind(L'\\');
  return c == std::wstring::npos ? p : p.substr(c + 1);
}
bool RefDir(const std::wstring& p, std::wstring& out) {
  if (p.find_first_of(L"/\\") == std::wstring::npos) return false;
  std::wstring s = p;
  size_t c = s.rfind(L'/');
  if (c != std::wstring::npos) s = s.substr(0, c);
  c = s.rfind(L'\\');
  if (c != std::wstring::npos) s = s.substr(0, c);
  out = s;
  return true;
}
std::wstring RefNoExt(const std::wstring& p) {
  const size_t start = [&] {
    const size_t c = p.find_last_of(L"/\\");
    return c == std::wstring::npos ? 0 : c + 1;
  }();
  const size_t dot = p.rfind(L'.');
  if (dot == std::wstring::npos || dot <= start) return p;
  return p.substr(0, dot);
}

RC_GTEST_PROP(PathParts, EachPartFollowsItsRuleIntoAnyOutput, ()) {
  kvtest::MsgCapture quiet;  // refusals trace; the harness reads results, not texts
  const std::wstring p = *rc::gen::container<std::wstring>(rc::gen::element<wchar_t>(L'a', L'b', L'.', L'/', L'\\', L'x'));
  const int how = *rc::gen::inRange(0, 3);  // heap, caller's buffer, the path itself
  for (int op = 0; op < 3; ++op) {
    std::wstring expect;
    bool nullExpected = false;
    if (op == 0) expect = RefFile(p);
    if (op == 1) nullExpected = !RefDir(p, expect);
    if (op == 2) expect = RefNoExt(p);
    std::vector<wchar_t> buf(p.size() + 8, L'#');
    std::wcscpy(buf.data(), p.c_str());
    wchar_t* out = how == 0 ? nullptr : how == 1 ? buf.data() + 0 : buf.data();
    std::vector<wchar_t> other(p.size() + 8, L'#');
    if (how == 1) out = other.data();
    wchar_t* r = op == 0 ? extraire_fichier(how == 2 ? buf.data() : p.c_str(), out)
                 : op == 1 ? extraire_repertoire(how == 2 ? buf.data() : p.c_str(), out)
                           : enleve_extension(how == 2 ? buf.data() : p.c_str(), out);
    if (nullExpected) {
      RC_ASSERT((r == nullptr));
      if (out) RC_ASSERT(out[0] == L'\0');
      continue;
    }
    RC_ASSERT((r != nullptr));
    RC_ASSERT(std::wstring(r) == expect);
    if (how == 0)
      kvelomem_free(r, __FILE__, __LINE__);
    else
      RC_ASSERT((r == out));
  }
  RC_ASSERT((extraire_fichier(nullptr, nullptr) == nullptr));
  RC_ASSERT((extraire_repertoire(nullptr, nullptr) == nullptr));
  RC_ASSERT((enleve_extension(nullptr, nullptr) == nullptr));
}

RC_GTEST_PROP(PathParts, BlanksInsideFollowTheRule, ()) {
  kvtest::MsgCapture quiet;  // refusals trace; the harness reads results, not texts
  const std::string s = *rc::gen::container<std::string>(rc::gen::element(' ', '\t', '\n', 'a', 'b'));
  size_t n = s.size();
  while (n > 0 && std::isspace(static_cast<unsigned char>(s[n - 1]))) --n;
  int expect = 0;
  for (size_t i = 0; i < n; ++i)
    if (std::isspace(static_cast<unsigned char>(s[i]))) expect = 1;
  RC_ASSERT(cadena_con_blanco(s.c_str()) == expect);
  RC_ASSERT(cadena_con_blanco(nullptr) == 0);
}

}  // namespace
