// prop_rt_sys.cpp: the work space, the library heap and the portable system calls.
// The work space runs random command sequences, in core and out of core, against a first-fit
// model of its blocks (numbers, sizes, offsets, the free set, used and total size, what is
// mapped) and the bytes written into its blocks, which must persist across growth of the area,
// unmapping and mapping again. Calls run short of the library heap, of operator new, or of disk
// (a data file that cannot grow); a call that throws must leave every block, size, byte and
// the data file as they were. A work space leaves no file behind.
// The heap and the system wrappers are held to their definitions: zeroed and kept bytes, the
// result of a refusal (null, -1, ENOMEM) with nothing changed, names with odd characters and
// of exactly the system's path limit, conversions against the test's own UTF-8 coder, and the
// few pure functions against the C library.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>
#include <rapidcheck/state.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "C_KveloException.h"
#include "C_WorkSpace.h"
#include "chaine.h"
#include "dev_full.h"
#include "kvelosys.h"
#include "msgcapture.h"
#include "prop_rt_mem_files.h"
#include "prop_support.h"
#include "thrown_code.h"

// clang-format off
KVELO_HOLDS(
    "C_WorkSpace::C_WorkSpace", "C_WorkSpace::~C_WorkSpace", "C_WorkSpace::AddNewBlock",
    "C_WorkSpace::AppendBlock", "C_WorkSpace::FreeBlock", "C_WorkSpace::MapBlock",
    "C_WorkSpace::UnMapBlock", "C_WorkSpace::UnMapAllBlocks", "C_WorkSpace::AdrBlock",
    "C_WorkSpace::AdrBlockOnFile", "C_WorkSpace::BlockSize", "C_WorkSpace::getMappedSize",
    "C_WorkSpace::Release", "C_WorkSpace::Info", "C_WorkSpace::getDataFileName",
    "C_WorkSpace::CreateDataFile", "C_WorkSpace::_setDataFileSize", "C_WorkSpace::_RemoveDataFile",
    "C_WorkSpace::_Reserved", "C_WorkSpace::IsMapped",
    "kvelomem_malloc", "kvelomem_calloc", "kvelomem_realloc", "kvelomem_free",
    "kvelo_malloc", "kvelo_calloc", "kvelo_realloc", "kvelo_free", "kvelo_strdup",
    "kvelo_file_exist", "kvelo_file_mod_time", "kvelo_access", "kvelo_rename", "kvelo_unlink",
    "kvelo_tempnam", "kvelo_nom_libre", "kvelo_fileno", "kvelo_ftruncate", "kvelo_getenv",
    "kvelo_wgetenv", "kvelo_getpid", "kvelo_system", "kvelo_atan2", "kvelo_strncasecmp",
    "kvelo_Tchar2char", "kvelo_char2Tchar");
// clang-format on

namespace {

using Kvelo::C_WorkSpace;
using kvtest::rtmem::Bytes;
using kvtest::rtmem::Dir;
using kvtest::rtmem::Fault;
using kvtest::rtmem::UnderFault;
using kvtest::rtmem::Utf8;
using kvtest::rtmem::WideAscii;

rc::Gen<Fault> AnyFault() {
  return rc::gen::weightedOneOf<Fault>({
      {8, rc::gen::just(Fault{})},
      {1, rc::gen::map(rc::gen::inRange(0, 4), [](int k) { return Fault{Fault::Heap, k}; })},
      {1, rc::gen::map(rc::gen::inRange(0, 4), [](int k) { return Fault{Fault::New, k}; })},
      {1, rc::gen::map(rc::gen::element(0, 100000, 1100000), [](int k) { return Fault{Fault::Disk, k}; })},
  });
}

// The work space's own derived view, for the two protected operations.
struct Space : C_WorkSpace {
  Space(E_CoreMode mode, unsigned long long mb) : C_WorkSpace(mode, mb) {}
  int Reserved() { return _Reserved(); }
  int RemoveDataFile(bool raise) { return _RemoveDataFile(raise); }
};

// ---------------------------------------------------------------------------------------------
// The work space against its model.

struct Block {
  unsigned long long size, offset;
  bool free, mapped;
  Bytes bytes;  // what the block holds, once written (empty: not known)
};

struct WsSut {
  Dir dir;
  std::unique_ptr<Space> ws;
  C_WorkSpace::E_CoreMode mode = C_WorkSpace::INCORE;
  std::vector<Block> blocks;
  unsigned long long total = 0, used = 0;
  int serial = 0;
};

struct WsModel {};
using WsCmd = rc::state::Command<WsModel, WsSut>;

using kvtest::ThrownCode;

std::string InfoText(C_WorkSpace& ws) {
  FILE* f = std::tmpfile();
  RC_ASSERT((f != nullptr));
  ws.Info(f);
  std::fflush(f);
  std::rewind(f);
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  std::fclose(f);
  return out;
}

// The bytes of a block as the work space holds them: through its address in core or when
// mapped, else from the data file.
Bytes BlockBytes(WsSut& s, int b) {
  const Block& k = s.blocks[static_cast<size_t>(b)];
  int st = 0;
  void* p = s.ws->AdrBlock(b, st);
  if (p) return Bytes(static_cast<unsigned char*>(p), static_cast<unsigned char*>(p) + k.size);
  RC_ASSERT(s.mode == C_WorkSpace::OUTOFCORE);
  const Bytes file = Dir::ReadAll(Utf8(s.ws->getDataFileName()));
  RC_ASSERT(file.size() >= k.offset + k.size);
  return Bytes(file.begin() + static_cast<long>(k.offset), file.begin() + static_cast<long>(k.offset + k.size));
}

// The work space against the model; the Info text must say the same numbers.
void WsCheck(WsSut& s) {
  C_WorkSpace& ws = *s.ws;
  RC_ASSERT(ws.getCoreMode() == s.mode);
  RC_ASSERT(ws.getMemOwner());
  RC_ASSERT(ws.getWorkSpaceSize() == s.total);
  unsigned long long mapped = 0, freeSize = 0;
  int mappedCount = 0, freeCount = 0;
  for (size_t i = 0; i < s.blocks.size(); ++i) {
    const Block& k = s.blocks[i];
    const int b = static_cast<int>(i);
    int st = 0;
    RC_ASSERT(ws.BlockSize(b) == k.size);
    RC_ASSERT(ws.AdrBlockOnFile(b, st) == (s.mode == C_WorkSpace::OUTOFCORE ? k.offset : 0u));
    void* p = ws.AdrBlock(b, st);
    if (s.mode == C_WorkSpace::OUTOFCORE) {
      RC_ASSERT((p != nullptr) == k.mapped);
    } else {
      RC_ASSERT((p != nullptr));
      void* base = ws.AdrBlock(0, st);
      RC_ASSERT(static_cast<char*>(p) - static_cast<char*>(base) == static_cast<long>(k.offset));
    }
    if (k.mapped) {
      mapped += k.size;
      ++mappedCount;
    }
    if (k.free) {
      freeSize += k.size;
      ++freeCount;
    }
    if (!k.free && !k.bytes.empty()) RC_ASSERT(BlockBytes(s, b) == k.bytes);
  }
  RC_ASSERT(ws.getMappedSize() == mapped);
  std::ostringstream want;
  want << " . Total Size               : " << s.total << "\n . Used Size                : " << s.used
       << "\n . Free Size                : " << s.total - s.used
       << "\n . Number of Blocks         : " << s.blocks.size() << "\n . Number of MappedBlocks   : " << mappedCount
       << " (Size = " << mapped << ")\n . Number of Free Blocks    : " << freeCount << " ( Size = " << freeSize
       << ")\n";
  const std::string info = InfoText(ws);
  RC_ASSERT(info.find(want.str()) != std::string::npos);
  if (s.mode == C_WorkSpace::OUTOFCORE) {
    const std::string name = Utf8(ws.getDataFileName());
    RC_ASSERT(name.compare(0, s.dir.Path().size() + 6, s.dir.Path() + "/KVTMP") == 0);
    RC_ASSERT(info.find(" . File Name                : " + name + "\n") != std::string::npos);
    struct stat st;
    RC_ASSERT(stat(name.c_str(), &st) == 0);
    RC_ASSERT(static_cast<unsigned long long>(st.st_size) == s.total);
    RC_ASSERT(s.dir.Entries().size() == 1u);
    RC_ASSERT(s.dir.OpenDescriptors() == 1);
    RC_ASSERT(static_cast<int>(s.dir.Mappings().size()) <= mappedCount);
  } else {
    RC_ASSERT(s.dir.Entries().empty());
    RC_ASSERT(ws.getDataFileName().empty());
    RC_ASSERT(ws.getDataFileDescriptor() == -1);
  }
}

// Everything a throwing call must leave as it was.
struct WsSnapshot {
  std::string info;
  std::vector<unsigned long long> sizes, offsets;
  std::vector<void*> addresses;
  Bytes file;
  explicit WsSnapshot(WsSut& s) {
    info = InfoText(*s.ws);
    for (int b = 0; b < static_cast<int>(s.blocks.size()); ++b) {
      int st = 0;
      sizes.push_back(s.ws->BlockSize(b));
      offsets.push_back(s.ws->AdrBlockOnFile(b, st));
      addresses.push_back(s.mode == C_WorkSpace::OUTOFCORE ? s.ws->AdrBlock(b, st) : nullptr);
    }
    if (s.mode == C_WorkSpace::OUTOFCORE) file = Dir::ReadAll(Utf8(s.ws->getDataFileName()));
  }
  bool operator==(const WsSnapshot& o) const {
    return info == o.info && sizes == o.sizes && offsets == o.offsets && addresses == o.addresses && file == o.file;
  }
};

struct Add : WsCmd {
  int sizeKind = *rc::gen::inRange(0, 8);
  Fault fault = *AnyFault();

  unsigned long long Size() const {
    static const unsigned long long sizes[] = {0, 1, 100, 4096, 5000, 300000, 1ull << 31, 1ull << 62};
    return sizes[sizeKind];
  }
  void run(const WsModel&, WsSut& s) const override {
    // A data file of 2^31 bytes is refused (9); an area of that size in core would be had.
    const unsigned long long size = s.mode == C_WorkSpace::INCORE && sizeKind == 6 ? 1ull << 62 : Size();
    const WsSnapshot before(s);
    int st = 7, b = -2, code = 0;
    bool met = false;
    met = UnderFault(fault, [&] { code = ThrownCode([&] { b = s.ws->AddNewBlock(size, st); }); });
    // Where the model puts the request: the first free block that is large enough, else the end.
    int fit = -1;
    for (size_t i = 0; i < s.blocks.size() && fit < 0; ++i)
      if (s.blocks[i].free && s.blocks[i].size >= size) fit = static_cast<int>(i);
    if (size == 0) {
      RC_ASSERT(code == 0);
      RC_ASSERT(b == -1);
      RC_ASSERT(st == -1);
      RC_ASSERT(WsSnapshot(s) == before);
      return WsCheck(s);
    }
    if (code != 0) {
      // Only what cannot be had may be refused: a table that cannot grow (1001), an area (1)
      // or a data file (9, 24) too large for memory or the disk.
      if (code == 1001) {
        RC_ASSERT(fault.kind == Fault::New);
      } else if (s.mode == C_WorkSpace::INCORE) {
        RC_ASSERT(code == 1);
        RC_ASSERT(fit < 0);
        RC_ASSERT(st == -1);
        RC_ASSERT((fault.kind == Fault::Heap || size >= (1ull << 31)));
      } else {
        RC_ASSERT(fit < 0);
        RC_ASSERT((code == 9 || code == 24));
        if (code == 9) RC_ASSERT(s.total + size > static_cast<unsigned long long>(INT_MAX));
        if (code == 24) RC_ASSERT(fault.kind == Fault::Disk);
      }
      RC_ASSERT(WsSnapshot(s) == before);
      return WsCheck(s);
    }
    (void)met;
    RC_ASSERT(st == 0);
    if (fit >= 0) {
      RC_ASSERT(b == fit);
      Block& k = s.blocks[static_cast<size_t>(fit)];
      const unsigned long long rest = k.size - size;
      k.free = false;
      k.bytes.clear();
      k.size = size;
      if (rest > 0) s.blocks.push_back(Block{rest, k.offset + size, true, false, Bytes()});
    } else {
      RC_ASSERT(b == static_cast<int>(s.blocks.size()));
      s.blocks.push_back(Block{size, s.total, false, false, Bytes()});
      s.total += size;
    }
    s.used += size;
    WsCheck(s);
  }
  void show(std::ostream& os) const override { os << "AddNewBlock(" << Size() << ", fault " << fault << ")"; }
};

// A block number to act on: mostly one of the table, sometimes one beyond it or negative.
rc::Gen<int> AnyBlock() {
  return rc::gen::weightedOneOf<int>({{8, rc::gen::inRange(0, 40)}, {1, rc::gen::element(-1, -7, 1000)}});
}
int Pick(const WsSut& s, int drawn) {
  if (drawn < 0 || drawn >= 1000 || s.blocks.empty()) return drawn;
  return drawn % static_cast<int>(s.blocks.size());
}

struct FreeB : WsCmd {
  int block = *AnyBlock();
  Fault fault = *rc::gen::weightedOneOf<Fault>(
      {{6, rc::gen::just(Fault{})}, {1, rc::gen::map(rc::gen::inRange(0, 2), [](int k) { return Fault{Fault::New, k}; })}});
  void run(const WsModel&, WsSut& s) const override {
    const int b = Pick(s, block);
    const bool valid = b >= 0 && b < static_cast<int>(s.blocks.size());
    const WsSnapshot before(s);
    int r = 7, code = 0;
    UnderFault(fault, [&] { code = ThrownCode([&] { r = s.ws->FreeBlock(b); }); });
    if (!valid || s.blocks[static_cast<size_t>(b)].free) {
      RC_ASSERT(code == 0);
      RC_ASSERT(r == 0);
      RC_ASSERT(WsSnapshot(s) == before);
      return WsCheck(s);
    }
    Block& k = s.blocks[static_cast<size_t>(b)];
    k.mapped = false;  // unmapped first, also when the free set cannot take it
    if (code != 0) {
      RC_ASSERT(code == 1001);
      return WsCheck(s);
    }
    RC_ASSERT(r == 0);
    k.free = true;
    k.bytes.clear();
    s.used -= k.size;
    WsCheck(s);
  }
  void show(std::ostream& os) const override { os << "FreeBlock(" << block << ", fault " << fault << ")"; }
};

struct MapB : WsCmd {
  int block = *AnyBlock();
  Fault fault = *rc::gen::weightedOneOf<Fault>(
      {{6, rc::gen::just(Fault{})}, {1, rc::gen::map(rc::gen::inRange(0, 3), [](int k) { return Fault{Fault::Heap, k}; })},
       {1, rc::gen::map(rc::gen::inRange(0, 3), [](int k) { return Fault{Fault::New, k}; })}});
  void run(const WsModel&, WsSut& s) const override {
    const int b = Pick(s, block);
    const bool valid = b >= 0 && b < static_cast<int>(s.blocks.size());
    const WsSnapshot before(s);
    int st = 7, code = 0;
    void* p = reinterpret_cast<void*>(1);
    bool met = false;
    met = UnderFault(fault, [&] { code = ThrownCode([&] { p = s.ws->MapBlock(b, st); }); });
    if (!valid) {
      RC_ASSERT(code == 0);
      RC_ASSERT((p == nullptr));
      RC_ASSERT(WsSnapshot(s) == before);
      return WsCheck(s);
    }
    Block& k = s.blocks[static_cast<size_t>(b)];
    if (code != 0) {
      RC_ASSERT(met);
      RC_ASSERT((code == 13 || code == 1001));
      RC_ASSERT(WsSnapshot(s) == before);
      return WsCheck(s);
    }
    RC_ASSERT(st == 0);
    RC_ASSERT((p != nullptr));
    if (s.mode == C_WorkSpace::OUTOFCORE) k.mapped = true;
    int st2 = 0;
    RC_ASSERT((p == s.ws->AdrBlock(b, st2)));
    WsCheck(s);
  }
  void show(std::ostream& os) const override { os << "MapBlock(" << block << ", fault " << fault << ")"; }
};

struct UnmapB : WsCmd {
  int block = *AnyBlock();
  bool all = *rc::gen::weightedOneOf<bool>({{4, rc::gen::just(false)}, {1, rc::gen::just(true)}});
  void run(const WsModel&, WsSut& s) const override {
    if (all) {
      RC_ASSERT(s.ws->UnMapAllBlocks() == 0);
      for (Block& k : s.blocks) k.mapped = false;
      return WsCheck(s);
    }
    const int b = Pick(s, block);
    RC_ASSERT(s.ws->UnMapBlock(b) == 0);
    if (b >= 0 && b < static_cast<int>(s.blocks.size())) s.blocks[static_cast<size_t>(b)].mapped = false;
    WsCheck(s);
  }
  void show(std::ostream& os) const override {
    if (all) {
      os << "UnMapAllBlocks";
    } else {
      os << "UnMapBlock(" << block << ")";
    }
  }
};

// The user writes a block whole (mapping it first out of core).
struct WriteB : WsCmd {
  int block = *rc::gen::inRange(0, 40);
  int seed = *rc::gen::inRange(1, 250);
  void run(const WsModel&, WsSut& s) const override {
    std::vector<int> used;
    for (size_t i = 0; i < s.blocks.size(); ++i)
      if (!s.blocks[i].free) used.push_back(static_cast<int>(i));
    if (used.empty()) return WsCheck(s);
    const int b = used[static_cast<size_t>(block) % used.size()];
    Block& k = s.blocks[static_cast<size_t>(b)];
    int st = 0;
    void* p = s.ws->MapBlock(b, st);
    RC_ASSERT((p != nullptr));
    if (s.mode == C_WorkSpace::OUTOFCORE) k.mapped = true;
    k.bytes.resize(k.size);
    for (size_t i = 0; i < k.size; ++i) k.bytes[i] = static_cast<unsigned char>((i * 31 + static_cast<size_t>(seed)) % 253 + 1);
    std::memcpy(p, k.bytes.data(), k.size);
    WsCheck(s);
  }
  void show(std::ostream& os) const override { os << "write block #" << block << " (seed " << seed << ")"; }
};

// Info to a full device and to no file: the first prints what it can, the second throws 12;
// neither changes the work space. The protected placeholder returns 0.
struct InfoB : WsCmd {
  void run(const WsModel&, WsSut& s) const override {
    const WsSnapshot before(s);
    FILE* full = kvtest::OpenDevFull();
    if (full) {
      RC_ASSERT(ThrownCode([&] { s.ws->Info(full); }) == 0);
      std::fclose(full);
    }
    RC_ASSERT(ThrownCode([&] { s.ws->Info(nullptr); }) == 12);
    RC_ASSERT(s.ws->Reserved() == 0);
    RC_ASSERT(WsSnapshot(s) == before);
    WsCheck(s);
  }
  void show(std::ostream& os) const override { os << "Info(/dev/full), Info(NULL), _Reserved"; }
};

}  // namespace

RC_GTEST_PROP(WorkSpaceProps, EveryBlockOperationKeepsTheModelAndLeavesNoFile, ()) {
  kvtest::MsgCapture quiet;
  WsSut s;
  s.mode = *rc::gen::element(C_WorkSpace::INCORE, C_WorkSpace::OUTOFCORE);
  const unsigned long long mb = *rc::gen::element(0ull, 1ull);
  RC_TAG(s.mode == C_WorkSpace::INCORE ? "in core" : "out of core");
  s.ws.reset(new Space(s.mode, mb));
  s.total = mb << 20;
  if (s.total > 0) s.blocks.push_back(Block{s.total, 0, true, false, Bytes()});
  WsCheck(s);
  rc::state::check(WsModel{}, s,
                   rc::state::gen::execOneOfWithArgs<Add, Add, FreeB, MapB, UnmapB, WriteB, InfoB>());
  const std::string name = Utf8(s.ws->getDataFileName());
  const bool release = *rc::gen::arbitrary<bool>();
  if (release) {
    RC_ASSERT(s.ws->Release() == 0);
    RC_ASSERT(s.ws->getMappedSize() == 0u);
    if (s.mode == C_WorkSpace::OUTOFCORE) {
      RC_ASSERT(s.ws->getDataFileName().empty());
      RC_ASSERT(s.ws->getDataFileDescriptor() == -1);
      RC_ASSERT(s.ws->RemoveDataFile(true) == 0);  // nothing left to remove
    }
    // The block table stays.
    for (size_t i = 0; i < s.blocks.size(); ++i) RC_ASSERT(s.ws->BlockSize(static_cast<int>(i)) == s.blocks[i].size);
  }
  s.ws.reset();
  RC_ASSERT(s.dir.Entries().empty());
  RC_ASSERT(s.dir.Mappings().empty());
  RC_ASSERT(s.dir.OpenDescriptors() == 0);
}

// A work space that cannot be built (no memory, no disk) throws and leaves no file; one whose
// in-core area cannot be had is built out of core.
RC_GTEST_PROP(WorkSpaceProps, AConstructionThatFailsLeavesNothing, ()) {
  kvtest::MsgCapture quiet;
  Dir dir;
  const auto mode = *rc::gen::element(C_WorkSpace::INCORE, C_WorkSpace::OUTOFCORE);
  const unsigned long long mb = *rc::gen::element(0ull, 1ull, 2ull, 2048ull);
  const Fault fault = *AnyFault();
  std::optional<C_WorkSpace> ws;  // built in place: the test itself asks no memory under the fault
  int code = 0;
  UnderFault(fault, [&] { code = ThrownCode([&] { ws.emplace(mode, mb); }); });
  RC_LOG() << "code " << code << "\n";
  if (code != 0) {
    RC_ASSERT(!ws.has_value());
    RC_ASSERT(dir.Entries().empty());
    RC_ASSERT(dir.OpenDescriptors() == 0);
    if (code != 1001) RC_ASSERT((code == 9 || code == 19 || code == 24));
    return;
  }
  RC_ASSERT(ws.has_value());
  if (mode == C_WorkSpace::OUTOFCORE || ws->getCoreMode() == C_WorkSpace::OUTOFCORE) {
    RC_ASSERT(ws->getWorkSpaceSize() == (mb << 20));
    RC_ASSERT(dir.Entries().size() == 1u);
  }
  ws.reset();
  RC_ASSERT(dir.Entries().empty());
  RC_ASSERT(dir.OpenDescriptors() == 0);
}

// ---------------------------------------------------------------------------------------------
// The library heap.

RC_GTEST_PROP(HeapProps, BlocksHoldTheirBytesAndRefusalsKeepThem, ()) {
  // Both names are the same functions.
  RC_ASSERT((&kvelo_malloc == &kvelomem_malloc));
  RC_ASSERT((&kvelo_calloc == &kvelomem_calloc));
  RC_ASSERT((&kvelo_realloc == &kvelomem_realloc));
  RC_ASSERT((&kvelo_free == &kvelomem_free));
  const size_t count = *rc::gen::inRange<size_t>(0, 3000);
  const size_t size = *rc::gen::element<size_t>(1, 3, 8, 17);
  unsigned char* p = static_cast<unsigned char*>(kvelo_calloc(count, size, "prop", 0, __FILE__, __LINE__));
  RC_ASSERT((p != nullptr || count == 0));
  for (size_t i = 0; i < count * size; ++i) RC_ASSERT(p[i] == 0);
  for (size_t i = 0; i < count * size; ++i) p[i] = static_cast<unsigned char>(i * 13 + 1);
  Bytes kept(p, p + count * size);
  // Growth or shrink keeps the common bytes.
  const size_t n2 = *rc::gen::inRange<size_t>(1, 5000);
  unsigned char* q = static_cast<unsigned char*>(kvelomem_realloc(p, n2, "prop", 0, __FILE__, __LINE__));
  RC_ASSERT((q != nullptr));
  kept.resize(std::min(kept.size(), n2));
  RC_ASSERT(Bytes(q, q + kept.size()) == kept);
  // A refused growth (ceiling, count, or a size no allocator gives) keeps the block and its bytes.
  const int how = *rc::gen::inRange(0, 4);
  errno = 0;
  void* r = reinterpret_cast<void*>(1);
  if (how == 0) {
    kvrt::SetHeapBlockLimit(n2);
    r = kvelomem_realloc(q, n2 + 1, "prop", 0, __FILE__, __LINE__);
    kvrt::SetHeapBlockLimit(0);
  } else if (how == 1) {
    kvrt::SetHeapBlocksLeft(0);
    r = kvelo_realloc(q, n2 + 100, "prop", 0, __FILE__, __LINE__);
    kvrt::SetHeapBlocksLeft(-1);
  } else if (how == 2) {
    r = kvelomem_realloc(q, static_cast<size_t>(PTRDIFF_MAX) + 1, "prop", 0, __FILE__, __LINE__);
  } else {
    r = kvelomem_calloc(SIZE_MAX / 2, 3, "prop", 0, __FILE__, __LINE__);  // the product wraps
  }
  RC_ASSERT((r == nullptr));
  RC_ASSERT(errno == ENOMEM);
  RC_ASSERT(Bytes(q, q + kept.size()) == kept);
  kvrt::SetHeapBlocksLeft(0);
  RC_ASSERT((kvelomem_malloc(1, "prop", 0, __FILE__, __LINE__) == nullptr));
  RC_ASSERT((kvelo_malloc(1, "prop", 0, __FILE__, __LINE__) == nullptr));
  kvrt::SetHeapBlocksLeft(-1);
  kvelo_free(q, __FILE__, __LINE__);
  kvelomem_free(nullptr, __FILE__, __LINE__);
}

RC_GTEST_PROP(HeapProps, StrdupCopiesEveryByteOrRefuses, ()) {
  std::string text = *rc::gen::container<std::string>(rc::gen::inRange<char>(1, 127));
  const bool noHeap = *rc::gen::weightedOneOf<bool>({{3, rc::gen::just(false)}, {1, rc::gen::just(true)}});
  if (noHeap) kvrt::SetHeapBlocksLeft(0);
  char* c = kvelo_strdup(text.c_str(), "prop");
  kvrt::SetHeapBlocksLeft(-1);
  if (noHeap) {
    RC_ASSERT((c == nullptr));
  } else {
    RC_ASSERT((c != nullptr));
    RC_ASSERT(std::memcmp(c, text.c_str(), text.size() + 1) == 0);
    kvelomem_free(c, __FILE__, __LINE__);
  }
  RC_ASSERT((kvelo_strdup(nullptr, "prop") == nullptr));
}

// ---------------------------------------------------------------------------------------------
// Text conversions against the test's own coder.

// A wide string of scalar values from every UTF-8 length, sometimes with one value that is no
// text (a surrogate, a value beyond U+10FFFF).
RC_GTEST_PROP(TextProps, ConversionsAgreeWithAnIndependentCoder, ()) {
  const std::vector<unsigned> cps = *rc::gen::container<std::vector<unsigned>>(rc::gen::weightedOneOf<unsigned>(
      {{4, rc::gen::inRange<unsigned>(1, 0x80)},
       {2, rc::gen::inRange<unsigned>(0x80, 0x800)},
       {2, rc::gen::suchThat(rc::gen::inRange<unsigned>(0x800, 0x10000), [](unsigned c) { return c < 0xD800 || c > 0xDFFF; })},
       {2, rc::gen::inRange<unsigned>(0x10000, 0x110000)}}));
  const int bad = *rc::gen::weightedOneOf<int>({{4, rc::gen::just(0)}, {1, rc::gen::element(1, 2)}});
  std::wstring w;
  for (unsigned c : cps) w += static_cast<wchar_t>(c);
  if (bad) w.insert(w.size() / 2, 1, static_cast<wchar_t>(bad == 1 ? 0xDC00 : 0x110000));
  const bool noHeap = *rc::gen::weightedOneOf<bool>({{5, rc::gen::just(false)}, {1, rc::gen::just(true)}});
  if (noHeap) kvrt::SetHeapBlocksLeft(0);
  char* n = kvelo_Tchar2char(w.c_str());
  kvrt::SetHeapBlocksLeft(-1);
  if (bad || noHeap) {
    RC_ASSERT((n == nullptr));
    if (bad) return;
    n = kvelo_Tchar2char(w.c_str());
  }
  RC_ASSERT((n != nullptr));
  const std::string want = Utf8(w);
  RC_ASSERT(std::string(n) == want);
  if (noHeap) kvrt::SetHeapBlocksLeft(0);
  wchar_t* back = kvelo_char2Tchar(n);
  kvrt::SetHeapBlocksLeft(-1);
  if (noHeap) {
    RC_ASSERT((back == nullptr));
  } else {
    RC_ASSERT((back != nullptr));
    RC_ASSERT(std::wstring(back) == w);
    kvelomem_free(back, __FILE__, __LINE__);
  }
  // A byte sequence that is no UTF-8: a stray continuation, a cut sequence, an overlong form,
  // an encoded surrogate.
  std::string broken = want;
  const int cut = *rc::gen::inRange(0, 4);
  static const char* const junk[] = {"\x80", "\xE4\xB8", "\xC0\xAF", "\xED\xA0\x80"};
  broken.insert(broken.size() / 2, junk[cut]);
  RC_ASSERT((kvelo_char2Tchar(broken.c_str()) == nullptr));
  kvelomem_free(n, __FILE__, __LINE__);
  RC_ASSERT((kvelo_char2Tchar(nullptr) == nullptr));
  RC_ASSERT((kvelo_Tchar2char(nullptr) == nullptr));
}

// ---------------------------------------------------------------------------------------------
// Names: existence, time, access, rename, unlink, fresh names, with odd characters and at the
// path limit. A refused call changes no file.

RC_GTEST_PROP(FileProps, NameCallsAgreeWithTheFileSystem, ()) {
  Dir dir;
  const int odd = *rc::gen::inRange(0, 8);
  const int spelling = *rc::gen::inRange(0, 3);
  const std::wstring entry = kvtest::rtmem::OddName(odd, 1);
  const std::string entryU = Utf8(entry);
  const std::wstring wdir = WideAscii(dir.Path());
  // The same file spelt plainly, with extra slashes up to PATH_MAX - 1 bytes, or one byte too long.
  std::wstring name = wdir + L"/" + entry;
  if (spelling >= 1) {
    const size_t bytes = Utf8(name).size();
    const size_t want = spelling == 1 ? PATH_MAX - 1 : PATH_MAX;
    name = wdir + std::wstring(want - bytes + 1, L'/') + entry;
    RC_ASSERT(Utf8(name).size() == want);
  }
  const bool reachable = spelling != 2;
  const Bytes content = *rc::gen::container<Bytes>(rc::gen::arbitrary<unsigned char>());
  RC_ASSERT(Dir::WriteAll(dir.File(entryU), content));
  struct stat st;
  RC_ASSERT(stat(dir.File(entryU).c_str(), &st) == 0);
  const std::map<std::string, Bytes> before = dir.Contents();

  RC_ASSERT(kvelo_file_exist(name.c_str()) == (reachable ? 1 : 0));
  RC_ASSERT(kvelo_file_mod_time(name.c_str()) == (reachable ? static_cast<long long>(st.st_mtime) : 0));
  RC_ASSERT(kvelo_file_exist(wdir.c_str()) == 1);
  RC_ASSERT(kvelo_file_exist(nullptr) == 0);
  RC_ASSERT(kvelo_file_mod_time(nullptr) == 0);
  RC_ASSERT(kvelo_access(name.c_str(), 0) == (reachable ? 0 : -1));
  RC_ASSERT(kvelo_access(name.c_str(), 6) == (reachable ? 0 : -1));
  RC_ASSERT(kvelo_access(nullptr, 0) == -1);
  const std::wstring invalid = wdir + L"/x" + static_cast<wchar_t>(0xD800);
  RC_ASSERT(kvelo_file_exist(invalid.c_str()) == 0);
  errno = 0;
  RC_ASSERT(kvelo_access(invalid.c_str(), 0) == -1);
  RC_ASSERT(errno == EILSEQ);
  RC_ASSERT(dir.Contents() == before);

  // A free name: the given one when no file has it, else base_<i>ext.
  wchar_t* freeName = kvelo_nom_libre(name.c_str());
  RC_ASSERT((freeName != nullptr));
  if (reachable) {
    const std::wstring got(freeName);
    RC_ASSERT(got != name);
    RC_ASSERT(kvelo_file_exist(got.c_str()) == 0);
  } else {
    RC_ASSERT(std::wstring(freeName) == name);  // a name no file can have is free
  }
  kvelomem_free(freeName, __FILE__, __LINE__);
  RC_ASSERT((kvelo_nom_libre(nullptr) == nullptr));

  // Refused renames (into a missing directory, from a missing name, invalid names) change nothing.
  RC_ASSERT(kvelo_rename(name.c_str(), (wdir + L"/no/such").c_str()) == -1);
  RC_ASSERT(kvelo_rename((wdir + L"/missing").c_str(), (wdir + L"/other").c_str()) == -1);
  RC_ASSERT(kvelo_rename(invalid.c_str(), name.c_str()) == -1);
  RC_ASSERT(kvelo_rename(name.c_str(), invalid.c_str()) == -1);
  RC_ASSERT(kvelo_rename(nullptr, name.c_str()) == -1);
  RC_ASSERT(kvelo_unlink((wdir + L"/missing").c_str()) == -1);
  RC_ASSERT(kvelo_unlink(invalid.c_str()) == -1);
  RC_ASSERT(kvelo_unlink(nullptr) == -1);
  RC_ASSERT(dir.Contents() == before);
  if (!reachable) {
    RC_ASSERT(kvelo_rename(name.c_str(), (wdir + L"/moved").c_str()) == -1);
    RC_ASSERT(kvelo_unlink(name.c_str()) == -1);
    RC_ASSERT(dir.Contents() == before);
    return;
  }
  // A rename to another odd name moves the bytes; unlink removes them.
  const std::wstring other = kvtest::rtmem::OddName(odd + 3, 2);
  RC_ASSERT(kvelo_rename(name.c_str(), (wdir + L"/" + other).c_str()) == 0);
  std::map<std::string, Bytes> after;
  after[Utf8(other)] = content;
  RC_ASSERT(dir.Contents() == after);
  RC_ASSERT(kvelo_unlink((wdir + L"/" + other).c_str()) == 0);
  RC_ASSERT(dir.Entries().empty());
}

RC_GTEST_PROP(FileProps, FreshNamesAreFreeAndMakeNoFile, ()) {
  Dir dir;
  const int odd = *rc::gen::inRange(0, 8);
  const std::wstring prefix = kvtest::rtmem::OddName(odd, 0).substr(0, 2);
  const int where = *rc::gen::inRange(0, 3);  // the private directory, a missing one, none
  const std::wstring wdir = where == 0 ? WideAscii(dir.Path()) : where == 1 ? WideAscii(dir.File("none")) : L"";
  const bool noHeap = *rc::gen::weightedOneOf<bool>({{4, rc::gen::just(false)}, {1, rc::gen::just(true)}});
  if (noHeap) kvrt::SetHeapBlocksLeft(0);
  wchar_t* t = kvelo_tempnam(wdir.empty() ? nullptr : wdir.c_str(), prefix.c_str());
  kvrt::SetHeapBlocksLeft(-1);
  RC_ASSERT(dir.Entries().empty());
  if (noHeap) {
    RC_ASSERT((t == nullptr));
    return;
  }
  RC_ASSERT((t != nullptr));
  const std::string got = Utf8(t);
  // A missing directory, or none, falls back to $TMPDIR: the private directory here.
  const std::string want = dir.Path() + "/" + Utf8(prefix);
  RC_ASSERT(got.compare(0, want.size(), want) == 0);
  RC_ASSERT(got.size() == want.size() + 6);
  RC_ASSERT(kvelo_file_exist(t) == 0);
  kvelomem_free(t, __FILE__, __LINE__);
}

// ---------------------------------------------------------------------------------------------
// Descriptors: ftruncate to any length, fileno.

RC_GTEST_PROP(FileProps, FtruncateSetsTheLengthOrChangesNothing, ()) {
  Dir dir;
  const Bytes content = *rc::gen::container<Bytes>(rc::gen::arbitrary<unsigned char>());
  const std::string path = dir.File("t.bin");
  RC_ASSERT(Dir::WriteAll(path, content));
  FILE* f = std::fopen(path.c_str(), "r+b");
  RC_ASSERT((f != nullptr));
  const int fd = kvelo_fileno(f);
  RC_ASSERT(fd == fileno(f));
  RC_ASSERT(kvelo_fileno(fd) == fd);
  errno = 0;
  RC_ASSERT(kvelo_fileno(static_cast<FILE*>(nullptr)) == -1);
  RC_ASSERT(errno == EINVAL);
  const long long pos = *rc::gen::inRange<long long>(0, 300);
  RC_ASSERT(lseek(fd, pos, SEEK_SET) == pos);
  const long long length = *rc::gen::weightedOneOf<long long>(
      {{4, rc::gen::inRange<long long>(0, 5000)}, {1, rc::gen::element<long long>(-1, -4096, LLONG_MIN)},
       {1, rc::gen::just<long long>(LLONG_MAX)}});
  const int r = kvelo_ftruncate(fd, length);
  if (length < 0 || length == LLONG_MAX) {
    RC_ASSERT(r == -1);
    RC_ASSERT(lseek(fd, 0, SEEK_CUR) == pos);
    RC_ASSERT(Dir::ReadAll(path) == content);
  } else {
    RC_ASSERT(r == 0);
    RC_ASSERT(lseek(fd, 0, SEEK_CUR) == length);
    Bytes want = content;
    want.resize(static_cast<size_t>(length), 0);
    RC_ASSERT(Dir::ReadAll(path) == want);
  }
  std::fclose(f);
  // A descriptor that is no regular file, and one that is closed.
  FILE* full = kvtest::OpenDevFull();
  if (full) {
    const int ffd = fileno(full);
    const off_t at = lseek(ffd, 0, SEEK_CUR);
    RC_ASSERT(kvelo_ftruncate(ffd, 10) == -1);
    RC_ASSERT(lseek(ffd, 0, SEEK_CUR) == at);
    std::fclose(full);
  }
  RC_ASSERT(kvelo_ftruncate(-1, 10) == -1);
}

// ---------------------------------------------------------------------------------------------
// Environment, process, and the pure functions.

RC_GTEST_PROP(EnvProps, NarrowAndWideValuesAgree, ()) {
  const std::string var = "KVRTMEM_PROP_VAR";
  const int kind = *rc::gen::inRange(0, 4);
  const std::wstring w = kvtest::rtmem::OddName(*rc::gen::inRange(0, 8), *rc::gen::inRange(0, 1000));
  std::string value = kind == 3 ? std::string("a\xC3(b") : Utf8(w);  // the last is no UTF-8
  if (kind == 0) {
    unsetenv(var.c_str());
    RC_ASSERT((kvelo_getenv(var.c_str()) == nullptr));
    RC_ASSERT((kvelo_wgetenv(WideAscii(var).c_str()) == nullptr));
    return;
  }
  RC_ASSERT(setenv(var.c_str(), value.c_str(), 1) == 0);
  const char* n = kvelo_getenv(var.c_str());
  RC_ASSERT((n == std::getenv(var.c_str())));
  wchar_t* wv = kvelo_wgetenv(WideAscii(var).c_str());
  if (kind == 3) {
    RC_ASSERT((wv == nullptr));
  } else {
    RC_ASSERT((wv != nullptr));
    RC_ASSERT(std::wstring(wv) == w);
  }
  RC_ASSERT((kvelo_getenv(nullptr) == nullptr));
  RC_ASSERT((kvelo_wgetenv(nullptr) == nullptr));
  unsetenv(var.c_str());
}

RC_GTEST_PROP(MiscProps, PureFunctionsAgreeWithTheirDefinitions, ()) {
  RC_ASSERT(kvelo_getpid() == static_cast<int>(getpid()));
  const double y = *kvtest::AnyDouble();
  const double x = *kvtest::AnyDouble();
  const double a = kvelo_atan2(y, x);
  const long double ref = std::atan2(static_cast<long double>(y), static_cast<long double>(x));
  if (std::isnan(y) || std::isnan(x)) {
    RC_ASSERT(std::isnan(a));
  } else {
    RC_ASSERT(std::isfinite(a));
    RC_ASSERT(std::fabs(static_cast<long double>(a) - ref) <= 4 * std::numeric_limits<double>::epsilon() * std::fabs(ref) + 1e-300L);
    RC_ASSERT(std::signbit(a) == std::signbit(static_cast<double>(ref)));
  }
  // Case-blind comparison: the sign of a byte-wise comparison of the lower-cased prefixes.
  const std::string s1 = *rc::gen::container<std::string>(rc::gen::element('a', 'B', 'b', 'Z', 'z', '_', '\x7f', '\x80'));
  const std::string s2 = *rc::gen::container<std::string>(rc::gen::element('A', 'b', 'B', 'z', 'Z', '_', '\x7f', '\x80'));
  const size_t n = *rc::gen::inRange<size_t>(0, 12);
  int want = 0;
  for (size_t i = 0; i < n && want == 0; ++i) {
    const int c1 = i < s1.size() ? std::tolower(static_cast<unsigned char>(s1[i])) : 0;
    const int c2 = i < s2.size() ? std::tolower(static_cast<unsigned char>(s2[i])) : 0;
    want = c1 - c2;
    if (c1 == 0 || c2 == 0) break;
  }
  const int got = kvelo_strncasecmp(s1.c_str(), s2.c_str(), n);
  RC_ASSERT((got < 0) == (want < 0));
  RC_ASSERT((got > 0) == (want > 0));
  errno = 0;
  RC_ASSERT(kvelo_strncasecmp(nullptr, s2.c_str(), n) == INT_MAX);
  RC_ASSERT(errno == EINVAL);
}

// The command runs through the shell, whatever the first argument holds.
TEST(MiscProps, SystemRunsTheSecondArgument) {
  for (int k : {0, 3, 42}) {
    const std::string cmd = "exit " + std::to_string(k);
    const int r = kvelo_system(k == 3 ? "exit 9" : nullptr, cmd.c_str());
    ASSERT_TRUE(WIFEXITED(r));
    EXPECT_EQ(WEXITSTATUS(r), k);
  }
}
