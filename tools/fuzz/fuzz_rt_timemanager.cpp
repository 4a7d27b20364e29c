/* fuzz_rt_timemanager.cpp: the binary profiling record (C_TimeManager::Read, C_Timer::Read
 * and ReadRecord) read from arbitrary bytes; a record that reads must then serve every use of
 * a manager (listing, sorting, summaries, merging, copying, new blocks) and write back into a
 * record that reads again; a single timer record that does not read leaves the timer as it was.
 * Input: byte 0 (bit 7: pipe; bit 0: one timer record instead of a manager). */
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "C_TimeManager.h"
#include "fuzz_support.h"

namespace {

// Everything a host does with a manager it read.
void Use(C_TimeManager& tm) {
  std::string out;
  tm.FillSummary(out);
  for (int which = 1; which <= 4; ++which) {
    tm.SortBlocks(static_cast<C_Timer::E_TimeValue>(which));
    std::string name;
    for (C_Timer* t = tm.FirstBlock(name, 0); t != nullptr; t = tm.NextBlock(name, 0)) {
      double e = 0.0, c = 0.0;
      t->SelfTime(e, c);
      std::string text;
      t->FillSummary(tm.GetTabNames(), text);
    }
  }
  tm.SortBlocks(static_cast<C_Timer::E_TimeValue>(0));
  C_TimeManager copy(tm);
  C_TimeManager other(true);
  other.BeginBlock(const_cast<char*>("fuzz-outer"));
  other.BeginBlock(const_cast<char*>("fuzz-inner"));
  other.EndBlock(const_cast<char*>("fuzz-inner"));
  other.EndBlock(const_cast<char*>("fuzz-outer"));
  copy += other;
  copy -= tm;
  copy += tm;
  // Blocks begun again by the names the record gives (listed or not), inside a new one.
  tm.BeginBlock(const_cast<char*>("fuzz-new"));
  std::vector<std::string> names;
  for (int id = 0; id < 4 && static_cast<size_t>(id) < tm.GetTabNames().size(); ++id)
    if (!tm.GetNameById(id).empty()) names.push_back(tm.GetNameById(id));
  for (const std::string& name : names) {
    tm.BeginBlock(const_cast<char*>(name.c_str()));
    tm.EndBlock(const_cast<char*>(name.c_str()));
  }
  tm.EndBlock(const_cast<char*>("fuzz-new"));
  out.clear();
  copy.FillSummary(out);
  tm.Reset();
}

// A record read whole must write back, and what it writes must read again.
void RoundTrip(C_TimeManager& tm) {
  FILE* f = std::tmpfile();
  if (f == nullptr) return;
  if (tm.Write(f) != 0) std::abort();
  std::fflush(f);
  std::rewind(f);
  C_TimeManager again;
  if (again.Read(f) != 0) std::abort();
  std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvfuzz::SilenceMessages();
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  kvfuzz::InputStream in(data + 1, size - 1, (mode & 0x80) != 0);
  // Reading prints the block count and the call-graph flag on standard output by design.
  kvfuzz::MuteStdout mute;
  switch (mode & 0x01) {
    case 0: {
      C_TimeManager tm;
      if (tm.Read(in.Get()) == 0) {
        RoundTrip(tm);
        Use(tm);
        RoundTrip(tm);  // what a host adds to a profile it read must be readable too
      }
      break;
    }
    default: {
      // One timer record alone (the manager reads its records with an identifier limit). A
      // record that does not read leaves the timer as it was.
      C_Timer t(0);
      if (t.Read(in.Get()) != 0 && (t.GetId() != 0 || t.NbCalls() != 0 || t.NbChilds() != 0 || t.NbParents() != 0 ||
                                    t.GetTimeValue(C_Timer::TOTAL_ELAPSED) != 0.0))
        std::abort();
      std::vector<std::string> names(3, "n");
      std::string text;
      t.FillSummary(names, text);
      break;
    }
  }
  return 0;
}
