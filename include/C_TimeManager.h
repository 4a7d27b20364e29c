/* C_TimeManager.h: profiling blocks. A C_TimeManager keeps one C_Timer per block name
 * (call count, elapsed and CPU time, self time, optional call graph); BeginBlock/EndBlock
 * bracket one run. One process-wide manager, created at load from USE_TIMEMANAGER, is fed
 * by every C_Trace scope. The global manager is process-wide and not guarded. */
#ifndef KVELO_C_TIMEMANAGER_H
#define KVELO_C_TIMEMANAGER_H

#include "kvelo_export.h"

#include <functional>
#include <list>
#include <map>
#include <string>
#include <utility>
#include <vector>

/* Stores the elapsed clock (milliseconds of a monotonic clock since the library loaded) in
 * *origin and 0.0 in *cpuOrigin; returns the reading as int (saturated). */
KVELO_API int InitElapseTime(double* origin, double* cpuOrigin);
/* Seconds elapsed since an origin read by InitElapseTime. */
KVELO_API double ReturnElapseTime(double origin);
/* Process CPU time (user + system, seconds), minus start when start > 0.00001. */
KVELO_API float cputim_c(float start);

/* Statistics of one profiling block. */
class KVELO_API C_Timer {
 public:
  // Values selectable by GetTimeValue.
  enum E_TimeValue { TOTAL_ELAPSED = 1, TOTAL_CPU = 2, SELF_ELAPSED = 3, SELF_CPU = 4 };
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

 private:
  friend class C_TimeManager;
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

  explicit C_TimeManager(bool callGraph = false, bool reportOpenBlocks = false);
  // Copies names, counts and times; no open block, no call-graph entries.
  C_TimeManager(C_TimeManager& other);
  // With report-open-blocks, lists each still open block on standard error first.
  ~C_TimeManager();
  C_TimeManager& operator=(const C_TimeManager&) = delete;

  // Opens one run of the named block (created on first use). A block begun again while
  // open counts a call and nests: only its outermost run is timed.
  void BeginBlock(char* name);
  // Same with a printf-formatted name (cut to 1023 characters).
  void BeginBlock(const char* fmt, ...);
  // Closes the innermost open run of the named block and charges its interval to the
  // block open around it; returns the block's timer, or null (nothing changed) when no
  // run of that name is open. Blocks opened inside it stay open.
  C_Timer* EndBlock(char* name);
  C_Timer* EndBlock(const char* fmt, ...);
  // Timer of the printf-formatted name, or null.
  C_Timer* TimerByName(const char* fmt, ...);
  // name = name of identifier id (id below the name table's size); its timer or null.
  C_Timer* TimerById(int id, std::string& name);
  // Name of identifier id (id below the name table's size).
  std::string& GetNameById(int id);
  // The name table (1000 names more whenever it fills).
  std::vector<std::string>& GetTabNames();
  void setCallGraph(bool on);
  bool ContainsCallGraph();
  // Counts and times of every block to 0; names and call-graph entries kept.
  void Reset();

 private:
  C_Timer* DoBeginBlock(const char* name);
  C_Timer* DoEndBlock(const char* name);

  int m_nbBlocks;
  std::vector<T_BlockMap> m_blocks;  // one map per slot (always one slot)
  int m_nbSlots;
  bool m_callGraph;
  bool m_reportOpenBlocks;
  bool m_slotsMerged;
  std::vector<std::list<C_Timer*> > m_openBlocks;  // innermost first
  T_BlockMap::iterator m_listCursor;
  std::vector<std::string> m_names;
  std::vector<C_Timer*> m_lastEnded;
  double m_elapsedOrigin;
  double m_cpuOrigin;
  bool m_active;
  std::vector<C_Timer*> m_beginOverhead;  // identifier -1
  std::vector<C_Timer*> m_endOverhead;    // identifier -2
  std::map<double, int, std::greater<double> > m_sorted;
  std::map<double, int, std::greater<double> >::iterator m_sortedCursor;
};

/* Begins / ends the named block in the global time manager; nothing when there is none. */
KVELO_API void cTimeManagerBeginBlock(const char* name);
KVELO_API void cTimeManagerEndBlock(const char* name);
/* The global time manager, or null while profiling is off. */
KVELO_API C_TimeManager* S_GetTimeManager();

KVELO_C_BEGIN
/* n = 0: nothing; otherwise the global manager is freed, and for n > 0 a new one is made
 * (call graph when n > 1). */
KVELO_API void initTimeManager(int n);
/* Frees the global time manager, if any. */
KVELO_API void freeTimeManager(void);
/* Does nothing. */
KVELO_API void dispTimeManager(void);
KVELO_C_END

#endif
