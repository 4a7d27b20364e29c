/* C_TimeManager.h: profiling blocks. A C_TimeManager keeps one C_Timer per block name
 * (call count, elapsed and CPU time, self time, optional call graph); BeginBlock/EndBlock
 * bracket one run. The statistics can be listed (by name or sorted by a time value), merged,
 * printed as a summary, exported as a tab-separated text file and written to / read from a
 * portable binary file. One process-wide manager, created at load from USE_TIMEMANAGER, is
 * fed by every C_Trace scope; dumpTimeManager writes its files. The C functions (clocks,
 * global manager, dumps) are declared in kvelo_time.h. A C_TimeManager object is not guarded:
 * one thread at a time, except the global manager, whose block operations and dumps the
 * library serialises (kvelo_time.h). */
#ifndef KVELO_C_TIMEMANAGER_H
#define KVELO_C_TIMEMANAGER_H

#include "kvelo_export.h"
#include "kvelo_time.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <list>
#include <map>
#include <string>
#include <utility>
#include <vector>

/* Statistics of one profiling block. */
class KVELO_API C_Timer {
 public:
  // Values selectable by GetTimeValue.
  // Any other value selects nothing (0.0); SortBlocks takes 0 as "name order".
  enum E_TimeValue : int { TOTAL_ELAPSED = 1, TOTAL_CPU = 2, SELF_ELAPSED = 3, SELF_CPU = 4 };
  typedef std::map<int, std::pair<double, double> > T_Graph;

  explicit C_Timer(int id);
  // Copies identifier, call count and times; the copy has no call-graph entries.
  C_Timer(C_Timer& other);
  ~C_Timer();
  C_Timer& operator=(const C_Timer&) = delete;

  // Counts one call and reads the start of the interval (CPU origin not read).
  void Start(double& elapsedOrigin, double& cpuOrigin);
  // Ends the interval and adds it to the totals and the self accumulators.
  void Finish(double& elapsedOrigin, double& cpuOrigin);
  // Call count and times to 0; call-graph entries kept.
  void Reset();
  int GetId() const { return m_id; }
  int NbCalls() const { return m_nbCalls; }
  // (elapsed, CPU) totals / last interval.
  void TotalTime(double& elapsed, double& cpu);
  void GetStepTime(double& elapsed, double& cpu);
  // Self accumulators minus the sums of the children entries.
  void SelfTime(double& elapsed, double& cpu);
  // 1 total elapsed, 2 total CPU, 3 self elapsed accumulator, 4 self CPU accumulator; else 0.0.
  double GetTimeValue(E_TimeValue which);
  // Graph on: adds (elapsed, cpu) to the child's entry; off: subtracts them from the self accumulators.
  void SubmitFromChild(bool graph, int childId, double& elapsed, double& cpu);
  // Graph on: adds (elapsed, cpu) to the parent's entry; off: nothing.
  void AssignToParent(bool graph, int parentId, double& elapsed, double& cpu);

  // ---- call graph: entries (block identifier, elapsed, CPU) in ascending identifier order.
  //      The cursors are shared: a walk restarts at each First call. ----
  int NbChilds() const { return static_cast<int>(m_children.size()); }
  int NbParents() const { return static_cast<int>(m_parents.size()); }
  // First / next entry: its identifier, with its times in (elapsed, cpu); -1 when there is none.
  int FirstChild(double& elapsed, double& cpu);
  int NextChild(double& elapsed, double& cpu);
  int FirstParent(double& elapsed, double& cpu);
  int NextParent(double& elapsed, double& cpu);

  // ---- reports and files ----
  // Appends the timer's summary lines (counts, times, children and parents with their shares
  // of this timer's totals: an entry of 0 in a total of 0 is 0 %) to out; entry names come
  // from names (an identifier outside it shows an empty name). All or nothing: C_KveloException
  // 1001, out as it was, when memory runs out.
  void FillSummary(std::vector<std::string>& names, std::string& out);
  // Writes the summary to f (nothing for a null f); 1001, nothing written, on no memory.
  void Print(std::vector<std::string>& names, FILE* f);
  // Writes the timer's tab-separated line under name to f (nothing for a null f).
  void ExportCsv(FILE* f, const std::string& name);
  // Writes / reads the timer's portable binary record (step times not stored); 0, or -1
  // after a fct_Trace mark. Read replaces identifier, count, times and call-graph entries
  // (step times 0) only with a whole record: on a short file or a format error (an entry
  // identifier below 0, entries not in strictly ascending identifier order, as written) the
  // timer is as it was.
  int Write(FILE* f);
  int Read(FILE* f);

 private:
  friend class C_TimeManager;
  // Read with entry identifiers required below idLimit.
  int ReadRecord(FILE* f, int idLimit);
  // Adds o into this one (elapsed by maximum, CPU by sum) / subtracts o from this one. o's
  // call-graph entries are entered under idOf(their identifier) (left out for -1); a null idOf
  // keeps the identifiers (o belongs to the same manager).
  void Merge(C_Timer& o, const std::function<int(int)>& idOf);
  void Subtract(C_Timer& o, const std::function<int(int)>& idOf);
  std::string Summary(std::vector<std::string>& names);
  int m_id;
  int m_nbCalls;
  double m_totalElapsed;
  float m_totalCpu;
  double m_stepElapsed;
  float m_stepCpu;
  double m_selfElapsed;
  float m_selfCpu;
  T_Graph m_children;
  T_Graph::iterator m_childCursor;
  T_Graph m_parents;
  T_Graph::iterator m_parentCursor;
  int m_openDepth;  // runs of this block currently open (a re-entered block nests)
};

/* A set of profiling blocks by name. */
class KVELO_API C_TimeManager {
 public:
  typedef std::map<std::string, C_Timer*> T_BlockMap;
  // Order of the sorted listing: decreasing values, a value that is not a number first.
  struct DecreasingValue {
    bool operator()(double a, double b) const { return std::isnan(a) ? !std::isnan(b) : a > b; }
  };
  // Every block, values that tie in name order.
  typedef std::multimap<double, int, DecreasingValue> T_SortedList;

  // C_KveloException 1001 when memory runs out for the tables.
  explicit C_TimeManager(bool callGraph = false, bool reportOpenBlocks = false);
  // Copies names, counts and times; no open block, no call-graph entries. 1001, nothing left
  // behind, when memory runs out.
  C_TimeManager(C_TimeManager& other);
  // With report-open-blocks, lists each still open block on standard error first.
  ~C_TimeManager();
  C_TimeManager& operator=(const C_TimeManager&) = delete;

  // Opens one run of the named block (created on first use). A block begun again while
  // open counts a call and nests: only its outermost run is timed. C_KveloException 1001 when
  // memory runs out for the name or a new block (the run is then not opened).
  void BeginBlock(char* name);
  // Same with a printf-formatted name (cut to 1023 characters).
  void BeginBlock(const char* fmt, ...);
  // Closes the innermost open run of the named block and charges its interval to the
  // block open around it; returns the block's timer, or null (nothing changed) when no
  // run of that name is open. Blocks opened inside it stay open. 1001, nothing changed, when
  // memory runs out for the name.
  C_Timer* EndBlock(char* name);
  C_Timer* EndBlock(const char* fmt, ...);
  // Timer of the printf-formatted name, or null; 1001 when memory runs out for the name.
  C_Timer* TimerByName(const char* fmt, ...);
  // name = name of identifier id (id below the name table's size); its timer or null; 1001,
  // name unchanged, when memory runs out.
  C_Timer* TimerById(int id, std::string& name);
  // Name of identifier id (id below the name table's size).
  std::string& GetNameById(int id);
  // The name table (1000 names more whenever it fills).
  std::vector<std::string>& GetTabNames();
  void setCallGraph(bool on);
  bool ContainsCallGraph();
  // Counts and times of every block to 0; names and call-graph entries kept.
  void Reset();

  // ---- listing: by ascending name over a slot's blocks, or, after SortBlocks with 1 to 4,
  //      by decreasing value over slot 0 (slot ignored). The cursor is shared. ----
  // First / next block (its name in name); null at the end and at every later NextBlock.
  // C_KveloException 1001, cursor and name unchanged, when memory runs out for the name.
  C_Timer* FirstBlock(std::string& name, int slot);
  C_Timer* NextBlock(std::string& name, int slot);
  // Merges the slots, then lists every block by decreasing value (C_Timer::E_TimeValue), a
  // block whose value is not a number first, blocks of equal value (or none a number) in name
  // order; a value outside 1 to 4 is 0.0 for every block. 0 goes back to name order. The
  // listing changes whole or not at all (C_KveloException 1001 when memory runs out).
  void SortBlocks(C_Timer::E_TimeValue which);
  // Merges slots 1 and up into slot 0, once.
  void SumOverProcs();
  // Combines the other manager's blocks into those of the same name (elapsed by maximum, CPU
  // and counts by sum / everything subtracted; a time that is not a number stays one, also
  // in a maximum); overhead timers, names and flags untouched.
  // Call-graph entries are matched by the name of the block they name, whatever identifiers
  // the two managers gave it. += adds a block this manager lacks (also one named only by an
  // entry) under a new identifier; -= leaves such a block, and entries naming it, out. Each
  // block is combined whole or not at all: when memory runs out (C_KveloException 1001) the
  // blocks before it in name order are combined, it and those after it are as they were.
  C_TimeManager& operator+=(C_TimeManager& other);
  C_TimeManager& operator-=(C_TimeManager& other);

  // ---- reports and files (nothing while the manager is being destroyed) ----
  // Appends the summary: header, overhead timers, then each listed block grouped by class
  // (all or nothing: C_KveloException 1001 leaves out as it was). The listing's cursor ends
  // past the last block.
  void FillSummary(std::string& out);
  // Writes the summary to f (nothing for a null f); 1001, nothing written, on no memory.
  void Print(FILE* f);
  // Writes the tab-separated text file fileName, replacing it whole or not at all: nothing
  // changes when it cannot be written (a failed write is traced), 1001 when memory runs out.
  void ExportCsvFile(const std::string& fileName);
  // Writes the portable binary record (names, listed blocks, overhead timers); 0, or -1 after
  // a fct_Trace mark (an empty block name cannot be written); 1001 when memory runs out.
  int Write(FILE* f);
  // Replaces this manager's blocks, names, call-graph flag and overhead timers by the record
  // read from f, printing the block count and the call-graph flag on standard output; 0. On a
  // short file or a format error (negative count, a call-graph flag other than 0 or 1, a name
  // given twice or holding a zero byte, identifier outside the names, block given twice,
  // call-graph entries out of ascending identifier order) -1 after a fct_Trace mark, and the manager is as it was; 1001,
  // the manager as it was, when memory runs out.
  int Read(FILE* f);
  // Write on the named file, replaced whole or not at all (the record goes to a new file
  // beside it, renamed over it once complete and on disk): -1 after a trace when anything
  // fails, the file of that name then being as it was.
  int Write(const std::string& fileName);
  // Read from the named file ("rb"); -1 when it cannot be opened.
  int Read(const std::string& fileName);

 private:
  // The operations above letting std::bad_alloc pass.
  C_Timer* DoBeginBlock(const char* name);
  C_Timer* WalkFirstBlock(std::string& name, int slot);
  C_Timer* WalkNextBlock(std::string& name, int slot);
  void SortBlocksAside(C_Timer::E_TimeValue which);
  void Add(C_TimeManager& other);
  void Remove(C_TimeManager& other);
  void FillSummaryAside(std::string& summary);
  void DoExportCsvFile(const std::string& fileName);
  int DoWrite(FILE* f);
  int DoRead(FILE* f);
  // walk() with the listing's cursors put back, and std::bad_alloc given as 1001, on failure.
  template <class Walk>
  C_Timer* KeepCursorsOnFailure(Walk walk);
  C_Timer* DoEndBlock(const char* name);
  // New block of the given name in slot 0's map with the next identifier.
  C_Timer* NewBlock(const std::string& name);
  // Maps an identifier of other to this manager's identifier of the same name; with add, a
  // name this manager lacks gets a new block; -1 when it has none.
  std::function<int(int)> IdsFrom(C_TimeManager& other, bool add);
  // Destroys every block and forgets the open blocks and the listings.
  void ClearBlocks();

  int m_nbBlocks;
  std::vector<T_BlockMap> m_blocks;  // one map per slot (always one slot)
  int m_nbSlots;
  bool m_callGraph;
  bool m_reportOpenBlocks;
  bool m_slotsMerged;
  std::vector<std::list<C_Timer*> > m_openBlocks;  // innermost first
  T_BlockMap::iterator m_listCursor;
  int m_listSlot;  // slot whose map m_listCursor walks; -1 before any FirstBlock
  std::vector<std::string> m_names;
  std::vector<C_Timer*> m_lastEnded;
  double m_elapsedOrigin;
  double m_cpuOrigin;
  bool m_active;
  std::vector<C_Timer*> m_beginOverhead;  // identifier -1
  std::vector<C_Timer*> m_endOverhead;    // identifier -2
  T_SortedList m_sorted;
  T_SortedList::iterator m_sortedCursor;
};

/* The global time manager, or null while profiling is off. Other threads may be feeding it:
 * a host that reads or changes it while scopes run elsewhere must hold that off itself. */
KVELO_API C_TimeManager* S_GetTimeManager();

#endif
