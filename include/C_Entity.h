/* C_Entity.h: the common frame of the library's algorithms: serialisable objects
 * (C_CbfObject), named objects (C_Entity), algorithms with named options of four types
 * (C_Algorithm), and the host's progress engine and interface handed to a run. */
#ifndef KVELO_C_ENTITY_H
#define KVELO_C_ENTITY_H

#include <cstdio>
#include <map>
#include <memory>
#include <new>
#include <ostream>
#include <string>
#include <utility>

#include "kvelo_export.h"
#include "bf.h"
#include "erreur.h"
#include "kvelosys.h"
#include "C_KveloMessage.h"
#include "C_TimeManager.h"

/* Abstract root of objects that write themselves to and read themselves from a portable
 * binary file. */
class KVELO_API C_CbfObject {
 public:
  virtual ~C_CbfObject() {}
  // Type tag of the serialised object: -1 here.
  virtual int TypeCBF() const { return -1; }
  // Version text "1" and number 1.
  virtual const char* Version() const { return "1"; }
  virtual int VersionInt() const { return 1; }
  // Writes the object to f: 0, or -1 on failure.
  virtual int Write(FILE* f) = 0;
  // Reads the object from f: 0, or -1 on failure.
  virtual int Read(FILE* f) = 0;
  // Appends a description to s (nothing here); returns 0.
  virtual int Info(std::string& s) { (void)s; return 0; }

  // Element writer for the list writers: calls the object's Write on f and returns its result;
  // -1 for a null object.
  static int write_function(FILE* f, void* object) {
    if (!object) return -1;
    return static_cast<C_CbfObject*>(object)->Write(f);
  }
  // Reads into the existing object *object: *error = its Read result (-1 when there is no
  // object); returns the object.
  static void* read_function(FILE* f, void** object, int* error) {
    C_CbfObject* o = object ? static_cast<C_CbfObject*>(*object) : nullptr;
    int r = o ? o->Read(f) : -1;
    if (error) *error = r;
    return o;
  }
};

/* A named serialisable object. The binary form is the name as one portable string. */
class KVELO_API C_Entity : public C_CbfObject {
 public:
  C_Entity() {}
  // The name, the copy and the assignment throw C_KveloException 1001 when memory runs out
  // for the name (an assignment then leaves the name as it was).
  explicit C_Entity(const std::string& name);
  C_Entity(const C_Entity& other);
  C_Entity& operator=(const C_Entity& other);
  ~C_Entity() override {}

  // Writes the name as a portable string: 0, or -1 after a trace, nothing written, for a name
  // that cannot be stored: an empty one, or one holding a zero byte (the stored text would end
  // there, and the name read back would be another).
  int Write(FILE* f) override {
    if (m_name.find('\0') != std::string::npos || BF_fwrite_str(f, m_name.c_str()) != 0) {
      fct_Trace("aff_lieu", __LINE__, "include/C_Entity");
      return -1;
    }
    return 0;
  }
  // Reads a portable string into the name: 0, or -1 after a trace with the name unchanged,
  // also for a stored name that is empty (a stored length of 0) or holds a zero byte
  // ("ab\0cd"): no entity writes one, and the name read would be another ("ab"). The text is
  // read in pieces, so that a length merely claimed takes no memory.
  int Read(FILE* f) override {
    int length = 0;
    bool ok = BF_fread_int(f, &length, 1) == 0 && length > 0;
    std::string text;
    try {
      char piece[256];
      for (int got = 0; ok && got < length;) {
        const int k = length - got < 256 ? length - got : 256;
        ok = BF_fread_char(f, piece, k) == 0;
        if (ok) text.append(piece, static_cast<std::size_t>(k));
        got += k;
      }
      ok = ok && text.find('\0') == std::string::npos;
      if (ok) m_name.swap(text);
    } catch (const std::bad_alloc&) {
      ok = false;
    }
    if (!ok) fct_Trace("aff_lieu", __LINE__, "include/C_Entity");
    return ok ? 0 : -1;
  }
  int Info(std::string& s) override { (void)s; return 0; }
  // Class label: "C_Entity".
  virtual const char* Type() const { return "C_Entity"; }
  // Writes a line of 40 '=' then "<Type()> : <name>", each line ended with std::endl.
  virtual void Info(std::ostream& os) {
    os << "========================================" << std::endl;  // 40: no string to allocate
    os << Type() << " : " << m_name << std::endl;
  }

  // A copy of the name; 1001 when it cannot be had.
  std::string GetName() const;
  // The name's characters, valid while the name is unchanged.
  const char* Nom() const { return m_name.c_str(); }
  // Name = name; 1001, name unchanged, when memory runs out.
  void SetName(const std::string& name);

 private:
  std::string m_name;
};

/* Progress callback that an algorithm run reports to; hosts derive from it to show progress.
 * The base stores what SetUp gives and ignores everything else. */
class KVELO_API C_ProgressEngine {
 public:
  enum E_ProgressType { PROGRESS_NONE = 0, PROGRESS_STEPS = 1, PROGRESS_PERCENT = 2 };
  explicit C_ProgressEngine(int id = 0) : m_id(id), m_total(0.0), m_type(PROGRESS_NONE) {}
  virtual ~C_ProgressEngine() {}
  // Stores the total and the progress type; the text is ignored.
  virtual void SetUp(char* text, double total, E_ProgressType type) {
    (void)text;
    m_total = total;
    m_type = type;
  }
  virtual void Finish() {}
  virtual void Update(int step) { (void)step; }
  virtual void Update(int step, double value) { (void)step; (void)value; }
  // Whether the host asks the run to stop: never in the base.
  virtual bool checkAbort() { return false; }

  int getId() const { return m_id; }
  double getTotal() const { return m_total; }
  E_ProgressType getProgressType() const { return m_type; }

 private:
  int m_id;
  double m_total;
  E_ProgressType m_type;
};

/* The host's interface object handed to C_Algorithm::Run. */
class KVELO_API C_ItfAlgorithm {
 public:
  explicit C_ItfAlgorithm(C_ProgressEngine* engine = nullptr) : m_engine(engine) {}
  virtual ~C_ItfAlgorithm() {}
  // The progress engine given at construction (may be null).
  virtual C_ProgressEngine* getProgressEngine() { return m_engine; }

 private:
  C_ProgressEngine* m_engine;
};

/* A named algorithm with options of four types (bool, int, double, string), each kept in a map
 * ordered by name, and a profiling time manager of its own. Reading an option that is absent
 * adds it with the type's default (false, 0, 0.0, ""). Options are never removed. */
class KVELO_API C_Algorithm : public C_Entity {
 public:
  typedef Kvelo::MessageToolEnums::E_DebugScope_enum E_DebugScope_enum;

  // 1001 when memory runs out for the name or the time manager.
  explicit C_Algorithm(const std::string& name);
  ~C_Algorithm() override;
  C_Algorithm(const C_Algorithm&) = delete;
  C_Algorithm& operator=(const C_Algorithm&) = delete;

  // "C_Algorithm".
  const char* Type() const override { return "C_Algorithm"; }
  // Debug scope of the algorithm's messages: 0 here.
  virtual E_DebugScope_enum GetDebugScope();
  // Runs the algorithm with the host's interface: does nothing here and returns 0.
  virtual int Run(C_ItfAlgorithm& itf);

  // Every option operation below throws C_KveloException 1001 when memory runs out, the
  // options then as they were (a string passed by value is copied by the caller, before the
  // call: a want of memory there is the caller's).
  // The map of the value's type gets value under name (added or replaced).
  virtual void setOption(std::string name, std::string value);
  virtual void setOption(std::string name, double value);
  virtual void setOption(std::string name, int value);
  virtual void setOption(std::string name, bool value);
  // Character strings are string options: without this form a literal such as "LU" would
  // convert to bool (a standard conversion beats std::string's) and be stored as true. A null
  // value is the empty string. Not virtual: it goes through the string form above.
  void setOption(std::string name, const char* value) {
    setOption(std::move(name), value != nullptr ? std::string(value) : std::string());
  }
  // value = the option under name, added with the type's default when absent.
  virtual void getOption(std::string name, std::string& value);
  virtual void getOption(std::string name, double& value);
  virtual void getOption(std::string name, int& value);
  virtual void getOption(std::string name, bool& value);
  // Whether the map of that type has name; nothing is added.
  virtual bool isOption_b(std::string name);
  virtual bool isOption_i(std::string name);
  virtual bool isOption_d(std::string name);
  virtual bool isOption_s(std::string name);
  // The option under name, added with the type's default when absent.
  virtual bool getOption_b(std::string name);
  virtual int getOption_i(std::string name);
  virtual double getOption_d(std::string name);
  virtual std::string getOption_s(std::string name);
  // Sends the options listing as the text of msg (when msg would be shown), with msg's own
  // type, verbosity, scope and stream; 1001 when memory runs out for the listing (msg's text
  // then holds the part made, nothing is sent).
  virtual void AffOptions(Kvelo::C_KveloMessage& msg);
  // Sets the algorithm's default options: nothing here.
  virtual void InitOptions();

  C_TimeManager& getTimeManager() { return m_timeManager; }
  std::map<std::string, bool>& getbOptions() { return m_bOptions; }
  std::map<std::string, int>& getiOptions() { return m_iOptions; }
  std::map<std::string, double>& getdOptions() { return m_dOptions; }
  std::map<std::string, std::string>& getsOptions() { return m_sOptions; }

 private:
  C_TimeManager m_timeManager;
  std::map<std::string, bool> m_bOptions;
  std::map<std::string, int> m_iOptions;
  std::map<std::string, double> m_dOptions;
  std::map<std::string, std::string> m_sOptions;
};

#endif
