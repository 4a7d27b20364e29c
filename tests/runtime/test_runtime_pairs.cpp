// Writer and reader pairs of the runtime: whatever a writer puts in a file, its own reader
// must give back, bit for bit, at the edges a host can reach: portable values (NaN payloads,
// signed zeros, subnormals, the ends of every integer type), portable strings (non-ASCII,
// long, astral characters), typed arrays in both byte orders through streams and descriptors,
// entity names, linked lists, keyword files and the profiler's binary record. Several records
// share one stream wherever the format allows it, so that every reader is seen to stop
// exactly where its writer stopped.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <limits>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "C_Entity.h"
#include "C_TimeManager.h"
#include "C_bfd.h"
#include "bf.h"
#include "binfile.h"
#include "chaine.h"
#include "edge_values.h"
#include "kvelosys.h"
#include "liste_chainee.h"
#include "msgcapture.h"
#include "scratch_file.h"

using kvtest::Bytes;

using kvtest::EdgeDoubles;
using kvtest::Scratch;

namespace {

float F(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

// Doubles at the edges: zeros of both signs, the ends of the subnormals and of the normals,
// infinities, quiet and signalling NaNs with payloads and of both signs.
std::vector<float> EdgeFloats() {
  return {0.0f,           -0.0f,          F(0x00000001u), F(0x007FFFFFu), FLT_MIN,        FLT_MAX,
          -FLT_MAX,       HUGE_VALF,      -HUGE_VALF,     F(0x7FC00000u), F(0xFFC00001u), F(0x7F800001u),
          F(0x7FA5A5A5u), 1.0f / 3.0f};
}

template <class T>
bool SameBits(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}


struct HeapString {
  void operator()(void* p) const { kvelomem_free(p, __FILE__, __LINE__); }
};

}  // namespace

/* ------------------------------------------------------------ portable values (bf.h) -- */

TEST(BfPairs, EveryKindOfValueKeepsEveryBitInOneStream) {
  const std::vector<double> d = EdgeDoubles();
  const std::vector<float> fl = EdgeFloats();
  const std::vector<int> i = {0, 1, -1, INT_MIN, INT_MAX, 0x01020304};
  const std::vector<long> l = {0, -1, static_cast<long>(INT32_MIN), static_cast<long>(INT32_MAX), 0x7F00FF01L};
  const std::vector<long long> h = {0, -1, LLONG_MIN, LLONG_MAX, 0x0102030405060708LL};
  std::vector<char> c;
  for (int k = 0; k < 256; ++k) c.push_back(static_cast<char>(k));
  const std::vector<uint16_t> t = {0, 1, 0x00E9, 0xD800, 0xDFFF, 0xFFFE, 0xFFFF, 0x8000};

  Scratch s;
  ASSERT_NE(s.f, nullptr);
  // Each kind once as a run and once as single values, so that both paths of the writers
  // (one element, many elements) meet the reader.
  ASSERT_EQ(BF_fwrite_double(s.f, d.data(), static_cast<int>(d.size())), 0);
  for (double x : d) ASSERT_EQ(BF_fwrite_double(s.f, &x, 1), 0);
  ASSERT_EQ(BF_fwrite_float(s.f, fl.data(), static_cast<int>(fl.size())), 0);
  ASSERT_EQ(BF_fwrite_int(s.f, i.data(), static_cast<int>(i.size())), 0);
  ASSERT_EQ(BF_fwrite_long(s.f, l.data(), static_cast<int>(l.size())), 0);
  ASSERT_EQ(BF_fwrite_hyper(s.f, h.data(), static_cast<int>(h.size())), 0);
  ASSERT_EQ(BF_fwrite_char(s.f, c.data(), static_cast<int>(c.size())), 0);
  ASSERT_EQ(BF_fwrite_tchar(s.f, t.data(), static_cast<int>(t.size())), 0);
  s.Rewind();

  std::vector<double> d2(d.size()), d3(d.size());
  std::vector<float> fl2(fl.size());
  std::vector<int> i2(i.size());
  std::vector<long> l2(l.size());
  std::vector<long long> h2(h.size());
  std::vector<char> c2(c.size());
  std::vector<uint16_t> t2(t.size());
  ASSERT_EQ(BF_fread_double(s.f, d2.data(), static_cast<int>(d2.size())), 0);
  for (double& x : d3) ASSERT_EQ(BF_fread_double(s.f, &x, 1), 0);
  ASSERT_EQ(BF_fread_float(s.f, fl2.data(), static_cast<int>(fl2.size())), 0);
  ASSERT_EQ(BF_fread_int(s.f, i2.data(), static_cast<int>(i2.size())), 0);
  ASSERT_EQ(BF_fread_long(s.f, l2.data(), static_cast<int>(l2.size())), 0);
  ASSERT_EQ(BF_fread_hyper(s.f, h2.data(), static_cast<int>(h2.size())), 0);
  ASSERT_EQ(BF_fread_char(s.f, c2.data(), static_cast<int>(c2.size())), 0);
  ASSERT_EQ(BF_fread_tchar(s.f, t2.data(), static_cast<int>(t2.size())), 0);
  EXPECT_TRUE(SameBits(d2, d));
  EXPECT_TRUE(SameBits(d3, d));
  EXPECT_TRUE(SameBits(fl2, fl));
  EXPECT_EQ(i2, i);
  EXPECT_EQ(l2, l);
  EXPECT_EQ(h2, h);
  EXPECT_EQ(c2, c);
  EXPECT_EQ(t2, t);
  EXPECT_TRUE(s.AtEnd());
}

TEST(BfPairs, StringsOfEveryShapeReadBackInOneStream) {
  std::string allBytes;
  for (int k = 1; k < 256; ++k) allBytes.push_back(static_cast<char>(k));
  const std::vector<std::string> narrow = {
      "x",
      "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\x89",  // UTF-8: 2, 3 and 4 bytes
      "\xFF\xFE not UTF-8 \x80",
      " spaces, tabs\t and a line break\n ",
      "%s%n%d",
      allBytes,
      std::string(1 << 20, 'q') + "end",  // beyond one chunk of the portable writers
  };
  const std::vector<std::wstring> wide = {
      L"y",
      L"caf\u00E9 \u65E5\u672C",
      std::wstring(1, static_cast<wchar_t>(0x1F389)) + L" astral " + std::wstring(1, static_cast<wchar_t>(0x10FFFF)),
      std::wstring(1, static_cast<wchar_t>(0xFFFD)) + std::wstring(1, static_cast<wchar_t>(0xE000)),
      std::wstring(70000, static_cast<wchar_t>(0x10000)),  // 140000 units, surrogate pairs only
  };
  Scratch s;
  ASSERT_NE(s.f, nullptr);
  for (size_t k = 0; k < narrow.size(); ++k) {
    ASSERT_EQ(BF_fwrite_str(s.f, narrow[k].c_str()), 0) << k;
    ASSERT_EQ(BF_fwrite_tstr(s.f, wide[k % wide.size()].c_str()), 0) << k;
  }
  s.Rewind();
  for (size_t k = 0; k < narrow.size(); ++k) {
    char* n = nullptr;
    wchar_t* w = nullptr;
    ASSERT_EQ(BF_fread_str(s.f, &n), 0) << k;
    std::unique_ptr<char, HeapString> nOwn(n);
    ASSERT_EQ(BF_fread_tstr(s.f, &w), 0) << k;
    std::unique_ptr<wchar_t, HeapString> wOwn(w);
    ASSERT_NE(n, nullptr);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(std::string(n), narrow[k]) << k;
    EXPECT_TRUE(std::wstring(w) == wide[k % wide.size()]) << k;
  }
  EXPECT_TRUE(s.AtEnd());
}

TEST(BfPairs, FixedWideFieldsReadBackWhateverTheirFill) {
  const wchar_t astral = static_cast<wchar_t>(0x1D11E);
  struct Case {
    const char* what;
    std::wstring text;
    int units;
  };
  const Case cases[] = {
      {"one unit, filled", L"a", 1},
      {"padded", L"ab", 8},
      {"exactly filled, no terminator stored", L"abcd", 4},
      {"non-ASCII", L"\u00E9\u00FF\u0100\uFFFD", 4},
      {"a surrogate pair filling the field", std::wstring(1, astral), 2},
      {"surrogate pairs and padding", std::wstring(3, astral) + L"z", 12},
      {"empty text, all padding", L"", 3},
  };
  Scratch s;
  ASSERT_NE(s.f, nullptr);
  for (const Case& c : cases) ASSERT_EQ(BF_fwrite_multiplatform_char(s.f, c.text.c_str(), c.units), 0) << c.what;
  s.Rewind();
  for (const Case& c : cases) {
    std::vector<wchar_t> dst(static_cast<size_t>(c.units) + 1, L'#');
    ASSERT_EQ(BF_fread_multiplatform_char(s.f, dst.data(), c.units), 0) << c.what;
    EXPECT_TRUE(std::wstring(dst.data(), c.text.size()) == c.text) << c.what;
    for (size_t k = c.text.size(); k < static_cast<size_t>(c.units); ++k) EXPECT_EQ(dst[k], L'\0') << c.what << " " << k;
    EXPECT_EQ(dst[c.units], L'#') << c.what;  // nothing beyond the field's room
  }
  EXPECT_TRUE(s.AtEnd());
}

/* ------------------------------------------------------------ typed arrays (C_bfd.h) -- */

namespace {

template <class T>
std::vector<T> Edges();
template <>
std::vector<char> Edges<char>() {
  std::vector<char> c;
  for (int k = 0; k < 256; ++k) c.push_back(static_cast<char>(k));
  return c;
}
template <>
std::vector<int> Edges<int>() {
  return {0, -1, INT_MIN, INT_MAX, 0x01020304};
}
template <>
std::vector<long long> Edges<long long>() {
  return {0, -1, LLONG_MIN, LLONG_MAX, 0x0102030405060708LL};
}
template <>
std::vector<float> Edges<float>() {
  return EdgeFloats();
}
template <>
std::vector<double> Edges<double>() {
  return EdgeDoubles();
}
template <>
std::vector<std::complex<float>> Edges<std::complex<float>>() {
  const std::vector<float> f = EdgeFloats();
  std::vector<std::complex<float>> z;
  for (size_t k = 0; k < f.size(); ++k) z.emplace_back(f[k], f[f.size() - 1 - k]);
  return z;
}
template <>
std::vector<std::complex<double>> Edges<std::complex<double>>() {
  const std::vector<double> d = EdgeDoubles();
  std::vector<std::complex<double>> z;
  for (size_t k = 0; k < d.size(); ++k) z.emplace_back(d[k], d[d.size() - 1 - k]);
  return z;
}

// Writes the edge values of T in both orders and with both count types on one stream or on
// its descriptor, then reads them back in the same order.
template <class T>
void TypedArraysRoundTrip(bool onDescriptor, const char* what) {
  SCOPED_TRACE(what);
  const std::vector<T> v = Edges<T>();
  const int n = static_cast<int>(v.size());
  // A char array read from a descriptor in reversed order throws by contract (bytes have no
  // order to reverse): the char kind goes through the file's own order only.
  const bool chars = sizeof(T) == 1;
  const bool orders[] = {true, false};
  Scratch s;
  ASSERT_NE(s.f, nullptr);
  const int fd = fileno(s.f);
  for (bool big : orders) {
    if (onDescriptor && chars && big) continue;
    if (onDescriptor) {
      ASSERT_EQ(T_BF_write<T>(fd, v.data(), n, big), 0);
      ASSERT_EQ(T_BF_write<T>(fd, v.data(), static_cast<long long>(n), big), 0);
      ASSERT_EQ(T_BF_write<T>(fd, v.data(), 0LL, big), 0);  // nothing
    } else {
      ASSERT_EQ(T_BF_write<T>(s.f, v.data(), n, big), 0);
      ASSERT_EQ(T_BF_write<T>(s.f, v.data(), static_cast<long long>(n), big), 0);
      ASSERT_EQ(T_BF_write<T>(s.f, v.data(), 0LL, big), 0);
    }
  }
  s.Rewind();
  for (bool big : orders) {
    if (onDescriptor && chars && big) continue;
    std::vector<T> a(v.size()), b(v.size());
    if (onDescriptor) {
      ASSERT_EQ(T_BF_read<T>(fd, a.data(), n, big), 0);
      ASSERT_EQ(T_BF_read<T>(fd, b.data(), static_cast<long long>(n), big), 0);
      ASSERT_EQ(T_BF_read<T>(fd, b.data(), 0LL, big), 0);
    } else {
      ASSERT_EQ(T_BF_read<T>(s.f, a.data(), n, big), 0);
      ASSERT_EQ(T_BF_read<T>(s.f, b.data(), static_cast<long long>(n), big), 0);
      ASSERT_EQ(T_BF_read<T>(s.f, b.data(), 0LL, big), 0);
    }
    EXPECT_TRUE(SameBits(a, v)) << (big ? "big-endian" : "little-endian");
    EXPECT_TRUE(SameBits(b, v)) << (big ? "big-endian" : "little-endian");
  }
  EXPECT_TRUE(s.AtEnd());
}

template <class T>
void BothChannels(const char* what) {
  TypedArraysRoundTrip<T>(false, (std::string(what) + " on a stream").c_str());
  TypedArraysRoundTrip<T>(true, (std::string(what) + " on a descriptor").c_str());
}

}  // namespace

TEST(BfdPairs, EveryElementTypeInBothByteOrdersKeepsEveryBit) {
  BothChannels<char>("char");
  BothChannels<int>("int");
  BothChannels<long long>("long long");
  BothChannels<float>("float");
  BothChannels<double>("double");
  BothChannels<std::complex<float>>("complex<float>");
  BothChannels<std::complex<double>>("complex<double>");
}

TEST(BfdPairs, ALongArrayCrossesTheWritersStackAreaInBothOrders) {
  // Far more elements than a reversal area holds, with values that tell every position apart.
  const int n = 300001;
  std::vector<double> v(n);
  for (int k = 0; k < n; ++k) v[k] = kvtest::FromBits(0x0123456789ABCDEFull ^ (static_cast<uint64_t>(k) * 0x9E3779B97F4A7C15ull));
  for (bool big : {true, false}) {
    Scratch s;
    ASSERT_NE(s.f, nullptr);
    ASSERT_EQ(T_BF_write<double>(s.f, v.data(), static_cast<long long>(n), big), 0);
    s.Rewind();
    std::vector<double> back(n);
    ASSERT_EQ(T_BF_read<double>(s.f, back.data(), static_cast<long long>(n), big), 0);
    EXPECT_TRUE(SameBits(back, v)) << big;
    EXPECT_TRUE(s.AtEnd());
  }
}

/* ------------------------------------------------------------ entity names -- */

TEST(EntityPairs, NamesReadBackAsWrittenInOneStream) {
  const std::vector<std::string> names = {
      "a",
      "Kriging \xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\x88",
      "\xC3\x28 invalid UTF-8 \xFF",
      " leading and trailing blanks ",
      "line\nbreaks\r\n and %s %n",
      std::string(100000, 'n'),
  };
  Scratch s;
  ASSERT_NE(s.f, nullptr);
  for (const std::string& n : names) {
    C_Entity e(n);
    ASSERT_EQ(e.Write(s.f), 0) << n.size();
  }
  s.Rewind();
  for (const std::string& n : names) {
    C_Entity e("before");
    ASSERT_EQ(e.Read(s.f), 0) << n.size();
    EXPECT_EQ(e.GetName(), n);
  }
  EXPECT_TRUE(s.AtEnd());
}

// A std::string name may hold a zero byte; the writer must then either store the whole name
// or refuse it, never store another name and report success.
TEST(EntityPairs, ANameHoldingAZeroByteIsStoredWholeOrRefused) {
    const std::string cases[] = {std::string("ab\0cd", 5), std::string("x\0", 2)};
  for (const std::string& name : cases) {
    Scratch s;
    ASSERT_NE(s.f, nullptr);
    C_Entity e(name);
    kvtest::MsgCapture cap;
    if (e.Write(s.f) != 0) {  // refused: nothing written
      EXPECT_EQ(std::ftell(s.f), 0L) << name.size();
      continue;
    }
    s.Rewind();
    C_Entity back("before");
    EXPECT_EQ(back.Read(s.f), 0) << name.size();
    EXPECT_EQ(back.GetName(), name) << name.size();
  }
}

TEST(EntityPairs, EntitiesThroughAListOfObjects) {
  std::vector<std::unique_ptr<C_Entity>> owned;
  LIS* list = nullptr;
  const char* names[] = {"first", "\xE2\x88\x91 second", "third"};
  for (const char* n : names) {
    owned.emplace_back(new C_Entity(n));
    ASSERT_EQ(LIS_ins_fin(&list, owned.back().get(), 3), 0);
  }
  Scratch s;
  ASSERT_NE(s.f, nullptr);
  ASSERT_EQ(LIS_boutput(s.f, list, C_CbfObject::write_function, -1), 0);
  s.Rewind();
  int err = -1;
  LIS* back = LIS_binput(
      s.f,
      [](FILE* f, int* e) -> void* {
        C_Entity* x = new C_Entity("blank");
        void* obj = x;
        C_CbfObject::read_function(f, &obj, e);
        if (*e != 0) {
          delete x;
          return nullptr;
        }
        return x;
      },
      &err);
  ASSERT_EQ(err, 0);
  int k = 0;
  for (LIS* n = back; n; n = n->next, ++k) {
    ASSERT_LT(k, 3);
    EXPECT_EQ(n->type, 3);
    EXPECT_EQ(static_cast<C_Entity*>(n->object)->GetName(), names[k]);
    delete static_cast<C_Entity*>(n->object);
  }
  EXPECT_EQ(k, 3);
  LIS_free(&back, nullptr);
  LIS_free(&list, nullptr);
  EXPECT_TRUE(s.AtEnd());
}

/* ------------------------------------------------------------ lists -- */

namespace {

int WriteDouble(FILE* f, void* o) { return BF_fwrite_double(f, static_cast<const double*>(o), 1); }
void* ReadDouble(FILE* f, int* err) {
  double* d = static_cast<double*>(kvelomem_malloc(sizeof(double), "pairs", 0, __FILE__, __LINE__));
  if (!d || BF_fread_double(f, d, 1) != 0) {
    kvelomem_free(d, __FILE__, __LINE__);
    *err = 1;
    return nullptr;
  }
  return d;
}

struct Node {
  int type;
  uint64_t bits;
};

std::vector<Node> Nodes(LIS* first) {
  std::vector<Node> out;
  for (LIS* n = first; n; n = n->next) {
    uint64_t b;
    std::memcpy(&b, n->object, 8);
    out.push_back({n->type, b});
  }
  return out;
}

bool operator==(const Node& a, const Node& b) { return a.type == b.type && a.bits == b.bits; }

}  // namespace

TEST(ListPairs, ChainsAndHeadsOfEverySizeReadBackInOneStream) {
  std::vector<double> store = EdgeDoubles();
  const int types[] = {0, -1, INT_MIN, INT_MAX, 7};
  // Lists of 0, 1, all edge values, and 100000 nodes.
  std::vector<double> many(100000);
  for (size_t k = 0; k < many.size(); ++k) many[k] = kvtest::FromBits(0x3FF0000000000000ull + k);
  std::vector<std::vector<Node>> want;
  std::vector<LIS*> chains;
  auto build = [&](std::vector<double>& values, size_t count) {
    LIS* l = nullptr;
    std::vector<Node> w;
    for (size_t k = 0; k < count; ++k) {
      const int type = types[k % 5];
      LIS_ins_fin(&l, &values[k], type);
      uint64_t b;
      std::memcpy(&b, &values[k], 8);
      w.push_back({type, b});
    }
    chains.push_back(l);
    want.push_back(w);
  };
  build(store, 0);
  build(store, 1);
  build(store, store.size());
  {  // LIS_ins_fin walks the chain: build the long one from its end.
    LIS* l = nullptr;
    std::vector<Node> w(many.size());
    for (size_t k = many.size(); k-- > 0;) {
      LIS_ins_debut(&l, &many[k], static_cast<int>(k));
      std::memcpy(&w[k].bits, &many[k], 8);
      w[k].type = static_cast<int>(k);
    }
    chains.push_back(l);
    want.push_back(w);
  }
  // And a head over the edge values.
  LTE* head = nullptr;
  for (size_t k = 0; k < store.size(); ++k) LTE_ins_fin(&head, &store[k], types[(k + 2) % 5]);

  Scratch s;
  ASSERT_NE(s.f, nullptr);
  for (LIS* l : chains) ASSERT_EQ(LIS_boutput(s.f, l, WriteDouble, -1), 0);
  ASSERT_EQ(LTE_boutput(s.f, head, WriteDouble), 0);
  // A filtered chain, then the empty head.
  ASSERT_EQ(LIS_boutput(s.f, chains[2], WriteDouble, INT_MIN), 0);
  LTE* none = nullptr;
  ASSERT_EQ(LTE_boutput(s.f, none, WriteDouble), 0);
  s.Rewind();

  for (size_t c = 0; c < chains.size(); ++c) {
    int err = -1;
    LIS* back = LIS_binput(s.f, ReadDouble, &err);
    EXPECT_EQ(err, 0) << c;
    EXPECT_TRUE(Nodes(back) == want[c]) << c;
    LIS_free(&back, LIS_free_db);
  }
  LTE* headBack = nullptr;
  ASSERT_EQ(LTE_binput(s.f, &headBack, ReadDouble), 0);
  ASSERT_NE(headBack, nullptr);
  EXPECT_EQ(headBack->count, head->count);
  EXPECT_TRUE(Nodes(headBack->first) == Nodes(head->first));
  EXPECT_EQ(headBack->last->next, nullptr);
  LTE_free(&headBack, LIS_free_db);
  int err = -1;
  LIS* filtered = LIS_binput(s.f, ReadDouble, &err);
  EXPECT_EQ(err, 0);
  std::vector<Node> onlyMin;
  for (const Node& n : want[2])
    if (n.type == INT_MIN) onlyMin.push_back(n);
  EXPECT_TRUE(Nodes(filtered) == onlyMin);
  LIS_free(&filtered, LIS_free_db);
  LTE* emptyBack = nullptr;
  EXPECT_EQ(LTE_binput(s.f, &emptyBack, ReadDouble), 0);
  EXPECT_EQ(emptyBack, nullptr);
  EXPECT_TRUE(s.AtEnd());
  for (LIS*& l : chains) LIS_free(&l, nullptr);
  LTE_free(&head, nullptr);
}

/* ------------------------------------------------------------ keyword files -- */

namespace {

struct KeywordFileOnDisk {
  kvtest::TempPath path{"kwpairs", ".txt", false};
  int Put(const std::string& keyword, const std::string& line) {
    int found = -1;
    return subsitue_mot_cle(path.c_str(), keyword.c_str(), &found, line.c_str());
  }
  // The integer read for keyword from the start of the file: (result, value).
  std::pair<int, int> Int(const std::string& keyword) {
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return {-99, 0};
    int found = 0, value = 12345;
    char line[256];
    const int r = lire_valeur_mot_cle(f, keyword.c_str(), &found, line, &value);
    std::fclose(f);
    return {r, value};
  }
  std::pair<int, int> YesNo(const std::string& keyword) {
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return {-99, 0};
    int found = 0, yes = -1;
    char line[256];
    const int r = lire_valeur_mot_cle_yn(f, keyword.c_str(), &found, line, &yes);
    std::fclose(f);
    return {r, yes};
  }
  // The line (its first 255 characters) where keyword is found, "" when not found.
  std::string Line(const std::string& keyword) {
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return "<no file>";
    int found = 0;
    char line[256];
    const char* at = cherche_mot_cle(f, keyword.c_str(), &found, line);
    std::fclose(f);
    return at ? std::string(line) : std::string();
  }
};

}  // namespace

TEST(KeywordPairs, EverySettingWrittenReadsBackAfterEveryLaterWrite) {
  struct Setting {
    std::string keyword;
    std::string line;
    enum Kind { kInt, kYesNo, kText } kind;
    int value;  // the int, or 1 / 0 for yes / no
  };
  const std::string pad(240, ' ');
  const std::vector<Setting> settings = {
      {"niter", "niter 12", Setting::kInt, 12},
      {"lowest", "lowest -2147483648", Setting::kInt, INT_MIN},
      {"highest", "highest 2147483647", Setting::kInt, INT_MAX},
      {"zero", "zero -0", Setting::kInt, 0},
      {"save", "save yes", Setting::kYesNo, 1},
      {"trace", "trace no", Setting::kYesNo, 0},
      {"oui", "oui Oui", Setting::kYesNo, 1},
      // Values whose line ends just below, at, and past the 255 characters a buffer holds.
      {"w254", "w254" + std::string(254 - 4 - 2, ' ') + "77", Setting::kInt, 77},
      {"w255", "w255" + std::string(255 - 4 - 3, ' ') + "-88", Setting::kInt, -88},
      {"w300", "w300" + pad + std::string(50, '0') + "99", Setting::kInt, 99},
      {"path", "path /data/r\xC3\xA9sultats/%d.bin", Setting::kText, 0},
  };
  KeywordFileOnDisk k;
  for (size_t w = 0; w < settings.size(); ++w) {
    ASSERT_EQ(k.Put(settings[w].keyword, settings[w].line), 0) << settings[w].keyword;
    // Every setting written so far reads back (the first one sits on a line without newline).
    for (size_t r = 0; r <= w; ++r) {
      const Setting& s = settings[r];
      SCOPED_TRACE(s.keyword + " after writing " + settings[w].keyword);
      if (s.kind == Setting::kInt) {
        EXPECT_EQ(k.Int(s.keyword), std::make_pair(1, s.value));
      } else if (s.kind == Setting::kYesNo) {
        EXPECT_EQ(k.YesNo(s.keyword), std::make_pair(1, s.value));
      } else {
        std::string got = k.Line(s.keyword);
        if (!got.empty() && got.back() == '\n') got.pop_back();
        EXPECT_EQ(got, s.line);
      }
    }
  }
  // Rewriting each setting with a new value replaces it, and every other setting stays.
  ASSERT_EQ(k.Put("niter", "niter 13"), 0);
  ASSERT_EQ(k.Put("save", "save no"), 0);
  EXPECT_EQ(k.Int("niter"), std::make_pair(1, 13));
  EXPECT_EQ(k.YesNo("save"), std::make_pair(1, 0));
  EXPECT_EQ(k.Int("lowest"), std::make_pair(1, INT_MIN));
  EXPECT_EQ(k.Int("w300"), std::make_pair(1, 99));
  EXPECT_EQ(k.YesNo("trace"), std::make_pair(1, 0));
}

// Two settings whose keywords are one the beginning of the other, or a keyword that appears
// inside another setting's value: writing one must not lose the other.
TEST(KeywordPairs, ASettingWhoseKeywordLiesInsideAnotherSettingLine) {
  struct Case {
    const char* what;
    const char* firstKey;
    const char* firstLine;
    int firstValue;
    const char* secondKey;
    const char* secondLine;
    int secondValue;
  };
  const Case cases[] = {
      {"a keyword that begins another", "NBMAX", "NBMAX 10", 10, "NB", "NB 3", 3},
      {"a keyword inside another value", "depth", "depth 4 niter", 4, "niter", "niter 7", 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KeywordFileOnDisk k;
    ASSERT_EQ(k.Put(c.firstKey, c.firstLine), 0);
    ASSERT_EQ(k.Put(c.secondKey, c.secondLine), 0);
    EXPECT_EQ(k.Int(c.firstKey), std::make_pair(1, c.firstValue));
    EXPECT_EQ(k.Int(c.secondKey), std::make_pair(1, c.secondValue));
  }
}

/* ------------------------------------------------------------ profiler records -- */

namespace {

char* N(const char* s) { return const_cast<char*>(s); }

struct TimerState {
  std::string name;
  int id = 0, calls = 0;
  uint64_t te = 0, tc = 0, se = 0, sc = 0;  // bits of the times as the timer answers them
  std::vector<std::pair<int, std::pair<uint64_t, uint64_t>>> children, parents;
  bool operator==(const TimerState& o) const {
    return name == o.name && id == o.id && calls == o.calls && te == o.te && tc == o.tc && se == o.se &&
           sc == o.sc && children == o.children && parents == o.parents;
  }
};

uint64_t Bits(double d) {
  uint64_t b;
  std::memcpy(&b, &d, 8);
  return b;
}

TimerState StateOf(C_Timer& t, const std::string& name) {
  TimerState s;
  s.name = name;
  s.id = t.GetId();
  s.calls = t.NbCalls();
  double e = 0, c = 0;
  t.TotalTime(e, c);
  s.te = Bits(e);
  s.tc = Bits(c);
  s.se = Bits(t.GetTimeValue(C_Timer::SELF_ELAPSED));
  s.sc = Bits(t.GetTimeValue(C_Timer::SELF_CPU));
  for (int id = t.FirstChild(e, c); id != -1; id = t.NextChild(e, c)) s.children.push_back({id, {Bits(e), Bits(c)}});
  for (int id = t.FirstParent(e, c); id != -1; id = t.NextParent(e, c)) s.parents.push_back({id, {Bits(e), Bits(c)}});
  return s;
}

std::vector<TimerState> States(C_TimeManager& tm) {
  std::vector<TimerState> out;
  std::string name;
  for (C_Timer* t = tm.FirstBlock(name, 0); t; t = tm.NextBlock(name, 0)) out.push_back(StateOf(*t, name));
  return out;
}

Bytes WrittenRecord(C_TimeManager& tm) {
  kvtest::TempPath p("tmpairs", ".cpu");
  EXPECT_EQ(tm.Write(p.str()), 0);
  return kvtest::ReadFileBytes(p.str());
}

// Writes tm, reads the record into a fresh manager, and expects the same blocks, names,
// identifiers, counts, times (bit for bit) and call-graph entries, and the same bytes when
// the copy is written in its turn.
void ExpectManagerRoundTrip(C_TimeManager& tm) {
  const Bytes written = WrittenRecord(tm);
  ASSERT_FALSE(written.empty());
  kvtest::TempPath p("tmpairs_in", ".cpu");
  ASSERT_TRUE(kvtest::WriteFileBytes(p.str(), written));
  C_TimeManager back;
  testing::internal::CaptureStdout();
  const int r = back.Read(p.str());
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(r, 0);
  EXPECT_EQ(back.ContainsCallGraph(), tm.ContainsCallGraph());
  const std::vector<TimerState> a = States(tm), b = States(back);
  ASSERT_EQ(b.size(), a.size());
  for (size_t k = 0; k < a.size(); ++k) EXPECT_TRUE(a[k] == b[k]) << a[k].name.substr(0, 40);
  for (const TimerState& s : a) EXPECT_EQ(back.GetNameById(s.id), s.name);
  EXPECT_TRUE(kvtest::BytesEqual(WrittenRecord(back), written));
}

}  // namespace

TEST(TimeManagerPairs, LiveManagersReadBackBlockForBlock) {
  const std::string longName(5000, 'L');
  const std::string utf8 = "r\xC3\xA9solution \xE6\xB1\x82\xE8\xA7\xA3 \xF0\x9F\x94\xA5";
  {
    SCOPED_TRACE("a single block");
    C_TimeManager tm;
    tm.BeginBlock(N("only"));
    tm.EndBlock(N("only"));
    ExpectManagerRoundTrip(tm);
  }
  {
    SCOPED_TRACE("long, non-ASCII and percent names, with a call graph");
    C_TimeManager tm(true);
    tm.BeginBlock(N(longName.c_str()));
    tm.BeginBlock(N(utf8.c_str()));
    tm.BeginBlock(N("100% %s %n"));
    tm.EndBlock(N("100% %s %n"));
    tm.EndBlock(N(utf8.c_str()));
    tm.BeginBlock(N("100% %s %n"));
    tm.EndBlock(N("100% %s %n"));
    tm.EndBlock(N(longName.c_str()));
    ExpectManagerRoundTrip(tm);
  }
  {
    SCOPED_TRACE("blocks reset to zero calls");
    C_TimeManager tm(true);
    tm.BeginBlock(N("outer"));
    tm.BeginBlock(N("inner"));
    tm.EndBlock(N("inner"));
    tm.EndBlock(N("outer"));
    tm.Reset();
    ExpectManagerRoundTrip(tm);
  }
  {
    SCOPED_TRACE("more blocks than the first name table holds");
    C_TimeManager tm;
    for (int k = 0; k < 1500; ++k) {
      tm.BeginBlock("block %04d", k);
      tm.EndBlock("block %04d", k);
    }
    ExpectManagerRoundTrip(tm);
  }
  {
    SCOPED_TRACE("an empty manager");
    C_TimeManager tm;
    ExpectManagerRoundTrip(tm);
  }
}

namespace {

struct Encoder {
  Bytes b;
  Encoder& I(int32_t v) {
    kvtest::PutInt(b, v);
    return *this;
  }
  Encoder& Fl(float v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    kvtest::PutInt(b, static_cast<int32_t>(u));
    return *this;
  }
  Encoder& Db(double v) {
    kvtest::PutDouble(b, v);
    return *this;
  }
  Encoder& S(const std::string& s) {
    I(static_cast<int32_t>(s.size()));
    b.insert(b.end(), s.begin(), s.end());
    return *this;
  }
  // A timer record: identifier, calls, total elapsed, total CPU (float), self elapsed, self
  // CPU (float), children and parents (identifier, elapsed, CPU).
  Encoder& Timer(int id, int calls, double te, float tc, double se, float sc,
                 const std::vector<std::pair<int, double>>& children = {},
                 const std::vector<std::pair<int, double>>& parents = {}) {
    I(id).I(calls).Db(te).Fl(tc).Db(se).Fl(sc);
    I(static_cast<int32_t>(children.size()));
    for (const auto& c : children) I(c.first).Db(c.second).Db(-c.second);
    I(static_cast<int32_t>(parents.size()));
    for (const auto& p : parents) I(p.first).Db(p.second).Db(-p.second);
    return *this;
  }
};

}  // namespace

// Times a host cannot make with its clocks but finds in records of other runs (merged,
// subtracted, or written elsewhere): NaN with a payload, infinities, signed zeros, subnormals,
// the largest values and counts; read, written again and read again, bit for bit.
TEST(TimeManagerPairs, RecordsWithExtremeTimesComeBackBitForBit) {
  const double nanPayload = kvtest::FromBits(0x7FF8000000BEEF01ull), negNan = kvtest::FromBits(0xFFF8000000000000ull);
  Encoder e;
  e.I(4).I(1);
  for (const char* n : {"nan", "huge", "tiny", "zero"}) e.S(n);
  e.I(4);
  // Blocks in name order: huge, nan, tiny, zero.
  e.I(1).Timer(1, 0, DBL_MAX, FLT_MAX, HUGE_VAL, HUGE_VALF, {{2, -0.0}}, {{0, DBL_MAX}});
  e.I(0).Timer(0, INT_MAX, nanPayload, F(0x7FC00123u), negNan, -HUGE_VALF, {{1, nanPayload}}, {});
  e.I(2).Timer(2, 1, kvtest::FromBits(1), F(1), -0.0, -0.0f, {{3, kvtest::FromBits(1)}}, {{1, kvtest::FromBits(0x000FFFFFFFFFFFFFull)}});
  e.I(3).Timer(3, 0, 0.0, 0.0f, 0.0, 0.0f, {}, {{2, -HUGE_VAL}});
  e.Timer(-1, INT_MAX, DBL_MAX, FLT_MAX, nanPayload, F(1));
  e.Timer(-2, 0, -0.0, -0.0f, kvtest::FromBits(1), FLT_MIN);

  kvtest::TempPath in("tmpairs_src", ".cpu");
  ASSERT_TRUE(kvtest::WriteFileBytes(in.str(), e.b));
  C_TimeManager tm;
  testing::internal::CaptureStdout();
  const int r = tm.Read(in.str());
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(r, 0);
  // The record written again is the record read (the hand-made one lists its blocks in name
  // order, as the writer does), and it reads back into the same blocks.
  EXPECT_TRUE(kvtest::BytesEqual(WrittenRecord(tm), e.b));
  ExpectManagerRoundTrip(tm);
}

TEST(TimeManagerPairs, SingleTimersReadBackIntoOtherTimers) {
  C_TimeManager tm(true);
  tm.BeginBlock(N("p"));
  tm.BeginBlock(N("c"));
  tm.EndBlock(N("c"));
  tm.BeginBlock(N("c"));
  tm.EndBlock(N("c"));
  tm.EndBlock(N("p"));
  Scratch s;
  ASSERT_NE(s.f, nullptr);
  C_Timer* p = tm.TimerByName("p");
  C_Timer* c = tm.TimerByName("c");
  ASSERT_TRUE(p && c);
  ASSERT_EQ(p->Write(s.f), 0);
  ASSERT_EQ(c->Write(s.f), 0);
  s.Rewind();
  C_Timer p2(77), c2(78);
  ASSERT_EQ(p2.Read(s.f), 0);
  ASSERT_EQ(c2.Read(s.f), 0);
  EXPECT_TRUE(StateOf(p2, "p") == StateOf(*p, "p"));
  EXPECT_TRUE(StateOf(c2, "c") == StateOf(*c, "c"));
  EXPECT_TRUE(s.AtEnd());
}
