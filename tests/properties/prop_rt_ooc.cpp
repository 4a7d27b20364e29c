// prop_rt_ooc.cpp: out-of-core units and registered mappings, driven by random command
// sequences. The harness keeps what every file of a private directory must hold, byte for
// byte, and what every unit and mapping must show; after every command the directory, the
// views, the queries and the memory mode must agree with it. Names are drawn plain, spelt
// otherwise (with "/./", with extra slashes up to the system's path limit, through a hard
// link), with odd characters, or invalid; calls run short of library heap, of operator new,
// or of disk (files that cannot grow). A refused call must change nothing: not a unit, not a
// view, not a byte of any file, the caller's own files included. At the end every unit is
// freed: no file the harness did not make itself, no view and no descriptor may remain.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>
#include <rapidcheck/state.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "kvelo_mmap.h"
#include "kvelomem_ooc.h"
#include "kvelosys.h"
#include "msgcapture.h"
#include "prop_rt_mem_files.h"
#include "prop_support.h"

// clang-format off
KVELO_HOLDS(
    "kvelomem_calloc_ooc", "kvelomem_malloc_ooc", "kvelomem_realloc_ooc", "kvelomem_free_ooc",
    "kvelomem_get_mapped_filename", "kvelomem_get_mapped_unit", "kvelomem_get_mapped_size",
    "kvelomem_close_mapped_unit", "kvelomem_ismapped", "kvelomem_getmode", "kvelomem_setmode",
    "kvelo_mmap", "kvelo_mmap_", "kvelo_munmap", "kvelo_munmap_", "free_variables_kvelo_mmap");
// clang-format on

namespace {

using kvtest::rtmem::Bytes;
using kvtest::rtmem::Dir;
using kvtest::rtmem::Fault;
using kvtest::rtmem::Quietly;
using kvtest::rtmem::UnderFault;
using kvtest::rtmem::Utf8;
using kvtest::rtmem::WideAscii;

const char kTag[] = "prop_rt_ooc";

// KVRTMEM_SKIP="a,b": scenarios a long run by hand leaves out, to look past a fault already
// known (see the labels where Skip is asked).
bool Skip(const char* label) {
  const char* env = std::getenv("KVRTMEM_SKIP");
  if (!env) return false;
  const std::string list = std::string(",") + env + ",";
  return list.find(std::string(",") + label + ",") != std::string::npos;
}
const size_t kHuge = size_t{1} << 62;  // fits an offset, not a file system

struct Unit {
  MMAP_HANDLE* h;
  std::wstring name;  // as given to the library (or as it named its temporary file)
  std::string entry;  // the file's entry in the directory
  size_t size;
};

struct Raw {
  MMAP_HANDLE* h;
  std::string entry;
  size_t offset, length;
  bool writable;
};

struct Sut {
  Dir dir;
  std::vector<Unit> units;
  std::vector<Raw> raws;
  std::vector<MMAP_HANDLE*> spares;    // unmapped handles of the harness, to be mapped again
  std::map<std::string, Bytes> files;  // what every entry of the directory must hold
  int mode = 1;
  int modeAtStart = 1;
  int serial = 0;

  Sut() { mode = modeAtStart = kvelomem_getmode(); }
  ~Sut() {
    // A failing case may leave anything: everything goes, quietly.
    Quietly([&] {
      int st = 0;
      for (Unit& u : units) kvelomem_free_ooc(u.h, 1, kTag, __FILE__, __LINE__, &st);
      for (Raw& r : raws) {
        kvelo_munmap(r.h, kTag, __FILE__, __LINE__, &st);
        kvelomem_free(r.h, __FILE__, __LINE__);
      }
      for (MMAP_HANDLE* h : spares) kvelomem_free(h, __FILE__, __LINE__);
    });
    kvelomem_setmode(modeAtStart);
  }
  bool UsedByUnit(const std::string& entry) const {
    for (const Unit& u : units)
      if (u.entry == entry) return true;
    return false;
  }
};

struct Model {};
using Cmd = rc::state::Command<Model, Sut>;

Bytes Pattern(size_t n, int seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>((i * 7 + 3 + static_cast<size_t>(seed) * 13) % 251);
  return b;
}

std::wstring FileNameOf(MMAP_HANDLE* h) {
  int st = 1;
  wchar_t* w = kvelomem_get_mapped_filename(h, kTag, __LINE__, &st);
  RC_ASSERT(st == 0);
  RC_ASSERT((w != nullptr));
  std::wstring s(w);
  if (*w) kvelomem_free(w, __FILE__, __LINE__);
  return s;
}

// "" when the directory holds what want says, else where it differs (names, lengths, first
// differing byte): a short text for the counterexample.
std::string DirDiff(const std::map<std::string, Bytes>& got, const std::map<std::string, Bytes>& want) {
  std::ostringstream os;
  for (const auto& kv : want) {
    auto it = got.find(kv.first);
    if (it == got.end()) {
      os << "missing \"" << kv.first << "\" (" << kv.second.size() << " bytes); ";
      continue;
    }
    if (it->second == kv.second) continue;
    size_t i = 0;
    while (i < it->second.size() && i < kv.second.size() && it->second[i] == kv.second[i]) ++i;
    os << "\"" << kv.first << "\": " << it->second.size() << " bytes, want " << kv.second.size() << ", first difference at "
       << i << "; ";
  }
  for (const auto& kv : got)
    if (!want.count(kv.first)) os << "extra \"" << kv.first << "\" (" << kv.second.size() << " bytes); ";
  return os.str();
}

// The whole state against what the harness holds. The files come first: a view of a file that
// was cut under it would fault when read.
void Check(const Sut& s) {
  RC_ASSERT(DirDiff(s.dir.Contents(), s.files) == "");
  for (const Unit& u : s.units) {
    RC_ASSERT(kvelomem_ismapped(u.h) == 1);
    RC_ASSERT(u.h->state == 'Y');
    int st = 1;
    RC_ASSERT(kvelomem_get_mapped_size(u.h, kTag, __LINE__, &st) == u.size);
    RC_ASSERT(st == 0);
    RC_ASSERT(FileNameOf(u.h) == u.name);
    const Bytes& f = s.files.at(u.entry);
    RC_ASSERT(f.size() >= u.size);
    RC_ASSERT(std::memcmp(u.h->address, f.data(), u.size) == 0);
  }
  for (const Raw& r : s.raws) {
    RC_ASSERT(r.h->state == 'Y');
    RC_ASSERT(kvelomem_ismapped(r.h) == 0);
    const Bytes& f = s.files.at(r.entry);
    RC_ASSERT(f.size() >= r.offset + r.length);
    RC_ASSERT(std::memcmp(r.h->address, f.data() + r.offset, r.length) == 0);
  }
  RC_ASSERT(kvelomem_getmode() == s.mode);
  RC_ASSERT(s.dir.OpenDescriptors() == 0);
  // Every view is one mapping of the directory's files; one more is a view left behind.
  const std::vector<std::string> maps = s.dir.Mappings();
  RC_ASSERT(maps.size() <= s.units.size() + s.raws.size());
  for (const std::string& line : maps) RC_ASSERT(line.find("(deleted)") == std::string::npos);
}

bool SameHandle(const MMAP_HANDLE& a, const MMAP_HANDLE& b) {
  return a.address == b.address && a.id == b.id && a.state == b.state && a.reserved == b.reserved;
}

// What a refusal must leave: every handle as it was (the harness's model is unchanged, so
// Check covers files, views and queries).
struct Handles {
  std::vector<MMAP_HANDLE> u, r;
  explicit Handles(const Sut& s) {
    for (const Unit& x : s.units) u.push_back(*x.h);
    for (const Raw& x : s.raws) r.push_back(*x.h);
  }
  void ExpectSame(const Sut& s) const {
    RC_ASSERT(u.size() == s.units.size());
    for (size_t i = 0; i < u.size(); ++i) RC_ASSERT(SameHandle(u[i], *s.units[i].h));
    for (size_t i = 0; i < r.size(); ++i) RC_ASSERT(SameHandle(r[i], *s.raws[i].h));
  }
};

rc::Gen<Fault> AnyFault() {
  return rc::gen::weightedOneOf<Fault>({
      {8, rc::gen::just(Fault{})},
      {1, rc::gen::map(rc::gen::inRange(0, 4), [](int k) { return Fault{Fault::Heap, k}; })},
      {1, rc::gen::map(rc::gen::inRange(0, 4), [](int k) { return Fault{Fault::New, k}; })},
      {1, rc::gen::map(rc::gen::element(0, 100, 4096, 6000), [](int k) { return Fault{Fault::Disk, k}; })},
  });
}

// How a command names a file.
enum NameKind {
  kNull,       // no name: a temporary file
  kFresh,      // a name no file has
  kExisting,   // a file of the caller's (made now, or one left from before)
  kLiveSame,   // the file of a live unit, as the unit names it
  kLiveOther,  // the same file spelt otherwise
  kLiveLink,   // a hard link to it
  kNoDir,      // in a directory that does not exist
  kTheDir,     // the directory itself
  kInvalid,    // not text (a lone surrogate, a value beyond Unicode)
  kTooLong,    // exactly PATH_MAX bytes
};
const char* const kKindNames[] = {"null", "fresh", "existing", "live", "live-other-spelling", "live-hard-link",
                                  "no-dir", "the-dir", "invalid", "PATH_MAX"};

rc::Gen<int> AnyNameKind() {
  return rc::gen::weightedOneOf<int>({{3, rc::gen::just<int>(kNull)},
                                      {3, rc::gen::just<int>(kFresh)},
                                      {3, rc::gen::just<int>(kExisting)},
                                      {1, rc::gen::just<int>(kLiveSame)},
                                      {2, rc::gen::just<int>(kLiveOther)},
                                      {1, rc::gen::just<int>(kLiveLink)},
                                      {1, rc::gen::element<int>(kNoDir, kTheDir, kInvalid, kTooLong)}});
}

// A name resolved against the state: the wide name to pass (null for kNull), the entry it
// lands on, whether a call with it can succeed, and a hard link made for the call.
struct Named {
  int kind = kNull;
  bool hasName = false;
  std::wstring name;
  std::string entry;
  bool usable = false;
  std::string link;  // an extra entry of the harness, removed after the call
};

struct NameDraw {
  int kind = *AnyNameKind();
  int spelling = *rc::gen::inRange(0, 3);  // plain, with "/./", padded to PATH_MAX - 1 bytes
  int odd = *rc::gen::inRange(0, 8);
  int pick = *rc::gen::inRange(0, 64);
  bool reuse = *rc::gen::arbitrary<bool>();
  int length = *rc::gen::element(1, 100, 4096, 5000, 10000);

  std::wstring Spell(const Sut& s, const std::wstring& entry, int how) const {
    const std::wstring dir = WideAscii(s.dir.Path());
    if (how == 1) return dir + L"/./" + entry;
    if (how == 2) {
      // Extra slashes fill the path to the longest the system takes.
      const size_t bytes = Utf8(dir + L"/" + entry).size();
      if (bytes < PATH_MAX - 1) return dir + std::wstring(PATH_MAX - 1 - bytes + 1, L'/') + entry;
    }
    return dir + L"/" + entry;
  }

  // Resolves the draw; a kind that the state cannot serve falls back to a fresh name.
  Named Resolve(Sut& s, bool forAdoption) const {
    Named n;
    n.kind = kind;
    if ((kind == kLiveSame || kind == kLiveOther || kind == kLiveLink) && s.units.empty()) n.kind = kFresh;
    switch (n.kind) {
      case kNull:
        n.usable = !forAdoption;
        return n;
      case kFresh: {
        std::wstring e;
        do e = kvtest::rtmem::OddName(odd, ++s.serial);
        while (s.files.count(Utf8(e)));
        n.hasName = true;
        n.name = Spell(s, e, spelling);
        n.entry = Utf8(e);
        n.usable = !forAdoption;
        return n;
      }
      case kExisting: {
        std::vector<std::string> free;
        for (const auto& kv : s.files)
          if (!s.UsedByUnit(kv.first) && kv.first.compare(0, 3, "raw") != 0) free.push_back(kv.first);
        if (reuse && !free.empty()) {
          n.entry = free[static_cast<size_t>(pick) % free.size()];
        } else {
          const std::wstring e = kvtest::rtmem::OddName(odd, ++s.serial);
          n.entry = Utf8(e);
          const Bytes b = Pattern(static_cast<size_t>(length), s.serial);
          RC_ASSERT(Dir::WriteAll(s.dir.File(n.entry), b));
          s.files[n.entry] = b;
        }
        // The entry's wide name: entries made here are the UTF-8 of OddName, or KVTMP names.
        std::wstring we;
        RC_ASSERT(FromUtf8(n.entry, we));
        n.hasName = true;
        n.name = Spell(s, we, spelling);
        n.usable = true;
        return n;
      }
      case kLiveSame:
      case kLiveOther:
      case kLiveLink: {
        const Unit& u = s.units[static_cast<size_t>(pick) % s.units.size()];
        n.hasName = true;
        n.entry = u.entry;
        if (n.kind == kLiveSame) {
          n.name = u.name;
        } else if (n.kind == kLiveOther) {
          std::wstring we;
          RC_ASSERT(FromUtf8(u.entry, we));
          n.name = Spell(s, we, spelling == 0 ? 1 : spelling);
          if (n.name == u.name) n.name = Spell(s, we, spelling == 1 ? 2 : 1);
        } else {
          n.link = "link" + std::to_string(++s.serial);
          RC_ASSERT(link(s.dir.File(u.entry).c_str(), s.dir.File(n.link).c_str()) == 0);
          n.name = WideAscii(s.dir.File(n.link));
        }
        return n;
      }
      case kNoDir:
        n.hasName = true;
        n.name = WideAscii(s.dir.Path()) + L"/nodir/f";
        return n;
      case kTheDir:
        n.hasName = true;
        n.name = WideAscii(s.dir.Path());
        return n;
      case kInvalid:
        n.hasName = true;
        n.name = WideAscii(s.dir.File("bad")) + static_cast<wchar_t>(odd % 2 ? 0xD800 : 0x110000);
        return n;
      default: {  // kTooLong: a fresh entry spelt in exactly PATH_MAX bytes
        const std::wstring dir = WideAscii(s.dir.Path());
        const std::wstring e = L"long" + std::to_wstring(++s.serial);
        const size_t bytes = Utf8(dir + L"/" + e).size();
        n.hasName = true;
        n.name = dir + std::wstring(PATH_MAX - bytes + 1, L'/') + e;
        RC_ASSERT(Utf8(n.name).size() == static_cast<size_t>(PATH_MAX));
        return n;
      }
    }
  }

  static bool FromUtf8(const std::string& s, std::wstring& out) {
    out.clear();
    for (size_t i = 0; i < s.size();) {
      const unsigned char c = static_cast<unsigned char>(s[i]);
      int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
      unsigned long v = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
      if (i + static_cast<size_t>(extra) >= s.size() + (extra ? 0 : 1)) return false;
      for (int k = 1; k <= extra; ++k) v = (v << 6) | (static_cast<unsigned char>(s[i + static_cast<size_t>(k)]) & 0x3F);
      out += static_cast<wchar_t>(v);
      i += static_cast<size_t>(extra) + 1;
    }
    return true;
  }

  void Show(std::ostream& os) const {
    os << kKindNames[kind] << "(spelling " << spelling << ", odd " << odd << ", pick " << pick
       << (reuse ? ", reuse" : "") << ", len " << length << ")";
  }
};

// After the call: a hard link made for it must still hold the unit's bytes; then it goes.
void DropLink(Sut& s, const Named& n) {
  if (n.link.empty()) return;
  RC_ASSERT(Dir::ReadAll(s.dir.File(n.link)) == s.files.at(n.entry));
  unlink(s.dir.File(n.link).c_str());
}

// kvelomem_calloc_ooc / kvelomem_malloc_ooc.
struct Create : Cmd {
  NameDraw draw;
  int sizeKind = *rc::gen::inRange(0, 11);
  bool viaMalloc = *rc::gen::arbitrary<bool>();
  bool countFirst = *rc::gen::arbitrary<bool>();
  Fault fault = *AnyFault();

  void Sizes(size_t& count, size_t& size) const {
    static const size_t totals[] = {0, 1, 7, 100, 4095, 4096, 4097, 10000, kHuge};
    if (sizeKind == 9) {
      count = SIZE_MAX;
      size = 2;
      return;
    }
    if (sizeKind == 10) {  // zero elements of a size
      count = 0;
      size = 8;
      return;
    }
    const size_t t = totals[sizeKind];
    count = countFirst ? t : 1;
    size = countFirst ? 1 : t;
  }

  void run(const Model&, Sut& s) const override {
    size_t count = 0, size = 0;
    Sizes(count, size);
    if (viaMalloc) {
      if (count == SIZE_MAX) return;  // malloc takes one size
      size = count * size;
      count = 1;
    }
    const size_t bytes = count * size;
    const bool sizeOk = !(size != 0 && count > SIZE_MAX / size) && bytes > 0 && bytes < kHuge;
    if (Skip("create-live") && draw.kind >= kLiveSame && draw.kind <= kLiveLink) return;
    if (Skip("create-existing-bad-size") && draw.kind == kExisting && !sizeOk) return;
    if (Skip("create-existing-fault") && draw.kind == kExisting && fault.kind != Fault::None) return;
    const Named n = draw.Resolve(s, false);
    const Handles before(s);
    std::map<std::string, Bytes> dirBefore = s.dir.Contents();
    dirBefore.erase(n.link);  // the link goes after the call
    const wchar_t* name = n.hasName ? n.name.c_str() : nullptr;

    MMAP_HANDLE* h = reinterpret_cast<MMAP_HANDLE*>(1);
    int st = 7;
    bool met = false;
    const int code = Quietly([&] {
      met = UnderFault(fault, [&] {
        h = viaMalloc ? kvelomem_malloc_ooc(size, name, kTag, __FILE__, __LINE__, &st)
                      : kvelomem_calloc_ooc(count, size, name, kTag, __FILE__, __LINE__, &st);
      });
    });
    DropLink(s, n);
    const bool mayFail = fault.kind != Fault::None && met;
    if (!n.usable || !sizeOk) {
      RC_ASSERT((h == nullptr));
      RC_ASSERT(st == -1);
      if (sizeOk && fault.kind == Fault::None &&
          (n.kind == kLiveSame || n.kind == kLiveOther || n.kind == kLiveLink))
        RC_ASSERT(code == 24);
    } else if (!mayFail && !(fault.kind == Fault::Disk && static_cast<size_t>(fault.k) < bytes)) {
      RC_ASSERT((h != nullptr));
    }
    if (h == nullptr) {
      RC_ASSERT(st == -1);
      before.ExpectSame(s);
      RC_ASSERT(DirDiff(s.dir.Contents(), dirBefore) == "");
      Check(s);
      return;
    }
    RC_ASSERT(st == 0);
    Unit u{h, n.name, n.entry, bytes};
    if (!n.hasName) {
      u.name = FileNameOf(h);
      const std::string path = Utf8(u.name);
      const std::string prefix = s.dir.Path() + "/KVTMP";
      RC_ASSERT(path.compare(0, prefix.size(), prefix) == 0);
      u.entry = path.substr(s.dir.Path().size() + 1);
      RC_ASSERT(s.files.count(u.entry) == 0);
    }
    s.files[u.entry] = Bytes(bytes, 0);  // a caller's file is emptied and sized
    s.units.push_back(u);
    Check(s);
  }
  void show(std::ostream& os) const override {
    size_t count = 0, size = 0;
    Sizes(count, size);
    os << (viaMalloc ? "kvelomem_malloc_ooc(" : "kvelomem_calloc_ooc(") << count << " x " << size << ", ";
    draw.Show(os);
    os << ", fault " << fault << ")";
  }
};

// kvelomem_realloc_ooc of a unit (or of a handle that has none), and adoption of a file.
struct Resize : Cmd {
  int target = *rc::gen::weightedOneOf<int>({{6, rc::gen::just(0)},   // a unit's own handle
                                              {1, rc::gen::just(1)},   // a copy of it
                                              {1, rc::gen::just(2)},   // a handle without unit
                                              {1, rc::gen::just(3)}});  // neither handle nor name
  int pick = *rc::gen::inRange(0, 64);
  int sizeKind = *rc::gen::inRange(0, 9);
  bool withName = *rc::gen::arbitrary<bool>();  // a name beside a handle is not used
  Fault fault = *AnyFault();

  size_t NewSize(size_t old) const {
    switch (sizeKind) {
      case 0: return 0;
      case 1: return 1;
      case 2: return old > 1 ? old - 1 : 1;
      case 3: return old;
      case 4: return old + 1;
      case 5: return 4096;
      case 6: return 10000;
      case 7: return old * 3 + 5000;
      default: return kHuge;
    }
  }

  void run(const Model&, Sut& s) const override {
    const Handles before(s);
    const std::map<std::string, Bytes> dirBefore = s.dir.Contents();
    Unit* u = nullptr;
    MMAP_HANDLE copy{};
    MMAP_HANDLE stray{};
    MMAP_HANDLE* arg = nullptr;
    size_t old = 0;
    if ((target == 0 || target == 1) && !s.units.empty()) {
      u = &s.units[static_cast<size_t>(pick) % s.units.size()];
      old = u->size;
      copy = *u->h;
      arg = target == 0 ? u->h : &copy;
    } else if (target == 2) {
      if (!s.raws.empty()) {
        arg = s.raws[static_cast<size_t>(pick) % s.raws.size()].h;
      } else {
        stray.address = &stray;
        stray.id = -5;
        stray.state = 'Y';
        arg = &stray;
      }
    }
    const size_t newSize = NewSize(old);
    if (Skip("grow-longer-file") && u && newSize > old && s.files.at(u->entry).size() > old) return;
    const std::wstring dirName = WideAscii(s.dir.Path());
    const wchar_t* name = (arg && withName) ? dirName.c_str() : nullptr;
    MMAP_HANDLE* h = reinterpret_cast<MMAP_HANDLE*>(1);
    int st = 7;
    bool met = false;
    const int code = Quietly([&] {
      met = UnderFault(fault, [&] { h = kvelomem_realloc_ooc(arg, newSize, name, kTag, __FILE__, __LINE__, &st); });
    });
    if (!u) {
      RC_ASSERT((h == nullptr));
      RC_ASSERT(st == -1);
      if (fault.kind == Fault::None) RC_ASSERT(code == (arg ? 27 : 3));
    } else if (newSize == 0 || newSize >= kHuge) {
      RC_ASSERT((h == nullptr));
      if (fault.kind == Fault::None) RC_ASSERT(code == (newSize == 0 ? 22 : 24));
    } else if (fault.kind == Fault::None || !met) {
      if (!(fault.kind == Fault::Disk && static_cast<size_t>(fault.k) < newSize)) RC_ASSERT((h != nullptr));
    }
    if (h == nullptr) {
      RC_ASSERT(st == -1);
      before.ExpectSame(s);
      RC_ASSERT(DirDiff(s.dir.Contents(), dirBefore) == "");
      Check(s);
      return;
    }
    RC_ASSERT((u != nullptr));
    RC_ASSERT(st == 0);
    // Kept bytes keep their values, grown bytes read 0, and the file holds the unit exactly.
    Bytes& f = s.files[u->entry];
    f.resize(old);
    f.resize(newSize, 0);
    u->h = h;
    u->size = newSize;
    Check(s);
  }
  void show(std::ostream& os) const override {
    static const char* const targets[] = {"unit", "copy of a unit's handle", "handle without unit", "no handle"};
    os << "kvelomem_realloc_ooc(" << targets[target] << " #" << pick << ", size kind " << sizeKind
       << (withName ? ", with a name" : "") << ", fault " << fault << ")";
  }
};

// kvelomem_realloc_ooc(NULL, size, name): adopts an existing file.
struct Adopt : Cmd {
  NameDraw draw;
  int sizeKind = *rc::gen::inRange(0, 6);
  Fault fault = *AnyFault();

  void run(const Model&, Sut& s) const override {
    NameDraw d = draw;
    if (d.kind == kNull && sizeKind % 2 == 0) d.kind = kExisting;  // mostly a file that can be adopted
    if (Skip("adopt-live") && d.kind >= kLiveSame && d.kind <= kLiveLink) return;
    const Named n = d.Resolve(s, true);
    size_t len = 0;
    if (n.usable) len = s.files.at(n.entry).size();
    size_t size = 0;
    switch (sizeKind) {
      case 0: size = 0; break;
      case 1: size = 1; break;
      case 2: size = len > 1 ? len - 1 : 1; break;
      case 3: size = len > 0 ? len : 1; break;
      case 4: size = len + 1; break;
      default: size = std::min<size_t>(len > 0 ? len : 1, 4096); break;
    }
    if (Skip("adopt-zero") && size == 0) return DropLink(s, n);
    const Handles before(s);
    std::map<std::string, Bytes> dirBefore = s.dir.Contents();
    dirBefore.erase(n.link);  // the link goes after the call
    MMAP_HANDLE* h = reinterpret_cast<MMAP_HANDLE*>(1);
    int st = 7;
    bool met = false;
    const wchar_t* name = n.hasName ? n.name.c_str() : nullptr;
    const int code = Quietly([&] {
      met = UnderFault(fault, [&] { h = kvelomem_realloc_ooc(nullptr, size, name, kTag, __FILE__, __LINE__, &st); });
    });
    DropLink(s, n);
    const bool fits = n.usable && size > 0 && size <= len;
    if (!fits) {
      RC_ASSERT((h == nullptr));
      RC_ASSERT(st == -1);
      if (fault.kind == Fault::None) {
        if (!n.hasName) RC_ASSERT(code == 3);
        if (size > 0 && (n.kind == kLiveSame || n.kind == kLiveOther || n.kind == kLiveLink)) RC_ASSERT(code == 24);
      }
    } else if (fault.kind == Fault::None || !met) {
      RC_ASSERT((h != nullptr));
    }
    if (h == nullptr) {
      RC_ASSERT(st == -1);
      before.ExpectSame(s);
      RC_ASSERT(DirDiff(s.dir.Contents(), dirBefore) == "");
      Check(s);
      return;
    }
    RC_ASSERT(st == 0);
    s.units.push_back(Unit{h, n.name, n.entry, size});  // the file's contents stay
    Check(s);
  }
  void show(std::ostream& os) const override {
    os << "kvelomem_realloc_ooc(NULL, size kind " << sizeKind << ", ";
    draw.Show(os);
    os << ", fault " << fault << ")";
  }
};

// The user writes through a view: a unit's or a writable registered mapping's.
struct Write : Cmd {
  bool raw = *rc::gen::weightedOneOf<bool>({{4, rc::gen::just(false)}, {1, rc::gen::just(true)}});
  int pick = *rc::gen::inRange(0, 64);
  int at = *rc::gen::inRange(0, 1000);
  int len = *rc::gen::inRange(1, 6000);
  int value = *rc::gen::inRange(1, 256);

  void run(const Model&, Sut& s) const override {
    unsigned char* p = nullptr;
    size_t n = 0, offset = 0;
    std::string entry;
    if (!raw && !s.units.empty()) {
      const Unit& u = s.units[static_cast<size_t>(pick) % s.units.size()];
      p = static_cast<unsigned char*>(u.h->address);
      n = u.size;
      entry = u.entry;
    } else if (raw) {
      for (size_t k = 0; k < s.raws.size() && !p; ++k) {
        const Raw& r = s.raws[(static_cast<size_t>(pick) + k) % s.raws.size()];
        if (!r.writable) continue;
        p = static_cast<unsigned char*>(r.h->address);
        n = r.length;
        offset = r.offset;
        entry = r.entry;
      }
    }
    if (!p || n == 0) return Check(s);
    const size_t from = static_cast<size_t>(at) * n / 1000;
    const size_t count = std::min(static_cast<size_t>(len), n - from);
    std::memset(p + from, value, count);
    Bytes& f = s.files[entry];
    std::memset(f.data() + offset + from, value, count);
    Check(s);
  }
  void show(std::ostream& os) const override {
    os << "write " << value << " x " << len << " at " << at << "/1000 of " << (raw ? "mapping" : "unit") << " #" << pick;
  }
};

// kvelomem_free_ooc with every type, of a unit, of a copy of its handle, of a handle without
// unit, and of null.
struct Free : Cmd {
  int target = *rc::gen::weightedOneOf<int>({{6, rc::gen::just(0)}, {1, rc::gen::just(1)}, {1, rc::gen::just(2)},
                                              {1, rc::gen::just(3)}});
  int pick = *rc::gen::inRange(0, 64);
  int type = *rc::gen::weightedOneOf<int>({{3, rc::gen::just(1)}, {3, rc::gen::just(2)},
                                            {1, rc::gen::element(0, 3, -1)}});

  void run(const Model&, Sut& s) const override {
    const Handles before(s);
    MMAP_HANDLE copy{};
    MMAP_HANDLE* arg = nullptr;
    size_t idx = 0;
    bool unit = false;
    if ((target == 0 || target == 1) && !s.units.empty()) {
      idx = static_cast<size_t>(pick) % s.units.size();
      copy = *s.units[idx].h;
      arg = target == 0 ? s.units[idx].h : &copy;
      unit = true;
    } else if (target == 2 && !s.raws.empty()) {
      arg = s.raws[static_cast<size_t>(pick) % s.raws.size()].h;
    }
    int st = 7;
    const int code = Quietly([&] { kvelomem_free_ooc(arg, type, kTag, __FILE__, __LINE__, &st); });
    if (!unit) {  // nothing to free: nothing happens
      RC_ASSERT(st == 0);
      before.ExpectSame(s);
      return Check(s);
    }
    if (type != 1 && type != 2) {
      RC_ASSERT(st == -1);
      RC_ASSERT(code == 26);
      before.ExpectSame(s);
      return Check(s);
    }
    RC_ASSERT(st == 0);
    if (type == 1) s.files.erase(s.units[idx].entry);  // type 2 leaves the file to the caller
    s.units.erase(s.units.begin() + static_cast<long>(idx));
    RC_ASSERT(kvelomem_ismapped(&copy) == 0);
    Check(s);
  }
  void show(std::ostream& os) const override {
    static const char* const targets[] = {"unit", "copy of a unit's handle", "handle without unit", "null"};
    os << "kvelomem_free_ooc(" << targets[target] << " #" << pick << ", type " << type << ")";
  }
};

// The queries, of a unit, of a handle without unit and of null; the file name also without
// heap; close_mapped_unit; the memory mode.
struct Query : Cmd {
  int target = *rc::gen::inRange(0, 3);
  int pick = *rc::gen::inRange(0, 64);
  bool noHeap = *rc::gen::weightedOneOf<bool>({{3, rc::gen::just(false)}, {1, rc::gen::just(true)}});
  int mode = *rc::gen::element(-1, 0, 1, 2, 3, 7);

  void run(const Model&, Sut& s) const override {
    const Handles before(s);
    MMAP_HANDLE stray{};
    stray.address = &stray;
    stray.id = 3;
    stray.state = 'Y';
    MMAP_HANDLE* arg = nullptr;
    const Unit* u = nullptr;
    if (target == 0 && !s.units.empty()) {
      u = &s.units[static_cast<size_t>(pick) % s.units.size()];
      arg = u->h;
    } else if (target == 1) {
      arg = s.raws.empty() ? &stray : s.raws[static_cast<size_t>(pick) % s.raws.size()].h;
    }
    int st = 7;
    wchar_t* w = reinterpret_cast<wchar_t*>(1);
    const int code = Quietly([&] {
      if (noHeap) kvrt::SetHeapBlocksLeft(0);
      w = kvelomem_get_mapped_filename(arg, kTag, __LINE__, &st);
      kvrt::SetHeapBlocksLeft(-1);
    });
    if (!arg) {
      RC_ASSERT((w == nullptr));
      RC_ASSERT(st == 0);
    } else if (!u) {
      RC_ASSERT((w != nullptr));
      RC_ASSERT(*w == L'\0');
      RC_ASSERT(st == 0);
    } else if (noHeap) {
      RC_ASSERT((w == nullptr));
      RC_ASSERT(st == -1);
      RC_ASSERT(code == 3);
    } else {
      RC_ASSERT((w != nullptr));
      RC_ASSERT(st == 0);
      RC_ASSERT(std::wstring(w) == u->name);
      kvelomem_free(w, __FILE__, __LINE__);
    }
    st = 7;
    const unsigned long long size = kvelomem_get_mapped_size(arg, kTag, __LINE__, &st);
    RC_ASSERT(st == 0);
    RC_ASSERT(size == (u ? u->size : 0u));
    st = 7;
    const int fd = kvelomem_get_mapped_unit(arg, kTag, __LINE__, &st);
    RC_ASSERT(st == 0);
    if (!u) RC_ASSERT(fd == -1);
    st = 7;
    RC_ASSERT(kvelomem_close_mapped_unit(arg, kTag, __FILE__, __LINE__, &st) == 0);
    RC_ASSERT(st == 0);
    RC_ASSERT(kvelomem_ismapped(arg) == (u ? 1 : 0));
    kvelomem_setmode(mode);
    if (mode == 1 || mode == 2) s.mode = mode;
    RC_ASSERT(kvelomem_getmode() == s.mode);
    before.ExpectSame(s);
    Check(s);
  }
  void show(std::ostream& os) const override {
    os << "queries of " << (target == 0 ? "unit" : target == 1 ? "handle without unit" : "null") << " #" << pick
       << (noHeap ? " without heap" : "") << ", setmode(" << mode << ")";
  }
};

// kvelo_mmap of a region of a file of the harness, into a new or a spare handle.
struct MapRegion : Cmd {
  bool newFile = *rc::gen::arbitrary<bool>();
  int length = *rc::gen::element(1, 100, 4096, 4097, 9000);
  int pick = *rc::gen::inRange(0, 64);
  int access = *rc::gen::element(0, 1, 2, 2);
  int offKind = *rc::gen::inRange(0, 8);
  int lenKind = *rc::gen::inRange(0, 6);
  bool spare = *rc::gen::arbitrary<bool>();
  bool missing = *rc::gen::weightedOneOf<bool>({{9, rc::gen::just(false)}, {1, rc::gen::just(true)}});
  Fault fault = *AnyFault();

  void run(const Model&, Sut& s) const override {
    std::vector<std::string> rawFiles;
    for (const auto& kv : s.files)
      if (kv.first.compare(0, 3, "raw") == 0) rawFiles.push_back(kv.first);
    std::string entry;
    if (missing) {
      entry = "rawmissing";
    } else if (newFile || rawFiles.empty()) {
      entry = "raw" + std::to_string(++s.serial);
      const Bytes b = Pattern(static_cast<size_t>(length), s.serial);
      RC_ASSERT(Dir::WriteAll(s.dir.File(entry), b));
      s.files[entry] = b;
    } else {
      entry = rawFiles[static_cast<size_t>(pick) % rawFiles.size()];
    }
    const size_t L = missing ? 0 : s.files.at(entry).size();
    static const size_t pageish = 4096;
    const size_t offsets[] = {0, 1, 10, pageish, pageish + 10, L > 0 ? L - 1 : 0, L, L + 10};
    const size_t offset = offsets[offKind];
    const size_t rest = L > offset ? L - offset : 0;
    const size_t lengths[] = {0, 1, 100, rest, rest + 1, kHuge};
    const size_t len = lengths[lenKind];
    const size_t region = len == 0 ? rest : len;
    const bool inside = !missing && region > 0 && offset <= L && region <= L - offset;
    if (Skip("mmap-rest") && len == 0 && offset % 4096 != 0) return;

    MMAP_HANDLE* mine = nullptr;
    if (spare && !s.spares.empty()) {
      mine = s.spares.back();
      s.spares.pop_back();
    }
    const MMAP_HANDLE mineBefore = mine ? *mine : MMAP_HANDLE{};
    const Handles before(s);
    const std::wstring name = WideAscii(s.dir.File(entry));
    MMAP_HANDLE* h = reinterpret_cast<MMAP_HANDLE*>(1);
    int st = 7;
    bool met = false;
    Quietly([&] {
      met = UnderFault(fault, [&] {
        h = kvelo_mmap(mine, -1, name.c_str(), access, offset, len, kTag, __FILE__, __LINE__, &st);
      });
    });
    if (!inside) RC_ASSERT((h == nullptr));
    if (inside && (fault.kind == Fault::None || !met)) RC_ASSERT((h != nullptr));
    if (h == nullptr) {
      RC_ASSERT(st == -1);
      if (mine) {
        RC_ASSERT(SameHandle(mineBefore, *mine));
        s.spares.push_back(mine);
      }
      before.ExpectSame(s);
      return Check(s);
    }
    RC_ASSERT(st == 0);
    if (mine) RC_ASSERT((h == mine));
    RC_ASSERT(h->state == 'Y');
    RC_ASSERT(h->reserved == 0);
    for (const Raw& r : s.raws) RC_ASSERT(r.h->id != h->id);
    for (const Unit& u : s.units) RC_ASSERT(u.h->id != h->id);
    s.raws.push_back(Raw{h, entry, offset, region, access == 2});
    Check(s);
  }
  void show(std::ostream& os) const override {
    os << "kvelo_mmap(" << (missing ? "missing file" : newFile ? "new file" : "a mapped file") << " of " << length
       << ", access " << access << ", offset kind " << offKind << ", length kind " << lenKind
       << (spare ? ", spare handle" : "") << ", fault " << fault << ")";
  }
};

// kvelo_munmap of a registered mapping (twice: the second call does nothing), of null and of
// a handle without address; the handle is freed or kept as a spare.
struct UnmapRegion : Cmd {
  int pick = *rc::gen::inRange(0, 64);
  bool keep = *rc::gen::arbitrary<bool>();

  void run(const Model&, Sut& s) const override {
    int st = 7;
    RC_ASSERT((kvelo_munmap(nullptr, kTag, __FILE__, __LINE__, &st) == -1));
    RC_ASSERT(st == -1);
    MMAP_HANDLE empty{};
    RC_ASSERT(kvelo_munmap(&empty, kTag, __FILE__, __LINE__, &st) == -1);
    if (s.raws.empty()) return Check(s);
    const size_t idx = static_cast<size_t>(pick) % s.raws.size();
    MMAP_HANDLE* h = s.raws[idx].h;
    st = 7;
    RC_ASSERT(kvelo_munmap(h, kTag, __FILE__, __LINE__, &st) == 0);
    RC_ASSERT(st == 0);
    RC_ASSERT(h->state == 'N');
    const MMAP_HANDLE after = *h;
    s.raws.erase(s.raws.begin() + static_cast<long>(idx));
    const Handles before(s);
    st = 7;
    RC_ASSERT(kvelo_munmap(h, kTag, __FILE__, __LINE__, &st) == 0);
    RC_ASSERT(st == 0);
    RC_ASSERT(SameHandle(after, *h));
    before.ExpectSame(s);
    if (keep) {
      s.spares.push_back(h);
    } else {
      kvelomem_free(h, __FILE__, __LINE__);
    }
    Check(s);
  }
  void show(std::ostream& os) const override { os << "kvelo_munmap(mapping #" << pick << (keep ? ", kept" : "") << ")"; }
};

// kvelo_mmap_ / kvelo_munmap_: a bare view of a file of the harness (a unit's, read-only, or
// a registered one's), into the caller's record or a new one.
struct BareView : Cmd {
  bool ofUnit = *rc::gen::arbitrary<bool>();
  int pick = *rc::gen::inRange(0, 64);
  int offset = *rc::gen::element(0, 3, 4096, 5000);
  int len = *rc::gen::element(0, 1, 50, 5000, 20000);
  bool callerRecord = *rc::gen::arbitrary<bool>();
  Fault fault = *AnyFault();

  void run(const Model&, Sut& s) const override {
    std::string entry;
    if (ofUnit && !s.units.empty()) {
      entry = s.units[static_cast<size_t>(pick) % s.units.size()].entry;
    } else if (!s.raws.empty()) {
      entry = s.raws[static_cast<size_t>(pick) % s.raws.size()].entry;
    } else {
      return Check(s);
    }
    const Bytes& f = s.files.at(entry);
    const size_t L = f.size();
    const size_t off = static_cast<size_t>(offset);
    const size_t region = len == 0 ? (L > off ? L - off : 0) : static_cast<size_t>(len);
    const bool inside = region > 0 && off <= L && region <= L - off;
    if (Skip("mmap-rest") && len == 0 && off % 4096 != 0) return Check(s);
    MMAP_VIEW record;
    std::memset(&record, 0x5C, sizeof record);
    const MMAP_VIEW recordBefore = record;
    std::wstring wentry;
    RC_ASSERT(NameDraw::FromUtf8(entry, wentry));
    const std::wstring name = WideAscii(s.dir.Path()) + L"/" + wentry;
    MMAP_VIEW* v = reinterpret_cast<MMAP_VIEW*>(1);
    int st = 7;
    bool met = false;
    Quietly([&] {
      met = UnderFault(fault, [&] {
        v = kvelo_mmap_(callerRecord ? &record : nullptr, -1, name.c_str(), 0, off, static_cast<size_t>(len), kTag,
                        __FILE__, __LINE__, &st);
      });
    });
    if (!inside) RC_ASSERT((v == nullptr));
    if (inside && (fault.kind == Fault::None || !met)) RC_ASSERT((v != nullptr));
    if (!v) {
      RC_ASSERT(st == -1);
      if (callerRecord) RC_ASSERT(std::memcmp(&record, &recordBefore, sizeof record) == 0);
      return Check(s);
    }
    RC_ASSERT(st == 0);
    if (callerRecord) RC_ASSERT((v == &record));
    RC_ASSERT(std::memcmp(v->address, f.data() + off, region) == 0);
    RC_ASSERT(kvelo_munmap_(v, kTag, __FILE__, __LINE__) == 0);
    RC_ASSERT((v->base == nullptr));
    RC_ASSERT(kvelo_munmap_(v, kTag, __FILE__, __LINE__) == 0);
    RC_ASSERT((kvelo_munmap_(nullptr, kTag, __FILE__, __LINE__) == 0));
    if (!callerRecord) kvelomem_free(v, __FILE__, __LINE__);
    Check(s);
  }
  void show(std::ostream& os) const override {
    os << "kvelo_mmap_(" << (ofUnit ? "unit" : "mapping") << " file #" << pick << ", offset " << offset << ", length "
       << len << (callerRecord ? ", caller's record" : "") << ", fault " << fault << ") + kvelo_munmap_";
  }
};

// free_variables_kvelo_mmap once no registered mapping is left; the next mapping makes the
// table again.
struct DropTable : Cmd {
  void run(const Model&, Sut& s) const override {
    if (!s.units.empty() || !s.raws.empty()) return Check(s);
    free_variables_kvelo_mmap();
    free_variables_kvelo_mmap();
    Check(s);
  }
  void show(std::ostream& os) const override { os << "free_variables_kvelo_mmap (when nothing is mapped)"; }
};

// Everything freed: only the harness's own files stay (each as it holds them), no view, no
// descriptor.
void TearDown(Sut& s) {
  while (!s.units.empty()) {
    int st = 7;
    const int code = Quietly([&] { kvelomem_free_ooc(s.units.back().h, 1, kTag, __FILE__, __LINE__, &st); });
    RC_ASSERT(st == 0);
    RC_ASSERT(code == 0);
    s.files.erase(s.units.back().entry);
    s.units.pop_back();
  }
  while (!s.raws.empty()) {
    int st = 7;
    RC_ASSERT(kvelo_munmap(s.raws.back().h, kTag, __FILE__, __LINE__, &st) == 0);
    kvelomem_free(s.raws.back().h, __FILE__, __LINE__);
    s.raws.pop_back();
  }
  for (MMAP_HANDLE* h : s.spares) kvelomem_free(h, __FILE__, __LINE__);
  s.spares.clear();
  RC_ASSERT(DirDiff(s.dir.Contents(), s.files) == "");
  RC_ASSERT(s.dir.Mappings().empty());
  RC_ASSERT(s.dir.OpenDescriptors() == 0);
}

}  // namespace

RC_GTEST_PROP(OocProps, EveryUnitAndMappingOperationKeepsTheFiles, ()) {
  kvtest::MsgCapture quiet;
  Sut s;
  rc::state::check(Model{}, s,
                   rc::state::gen::execOneOfWithArgs<Create, Create, Resize, Resize, Adopt, Write, Free, Query,
                                                     MapRegion, UnmapRegion, BareView, DropTable>());
  TearDown(s);
}
