/* C_Communicator.h: the interface through which a host that runs several cooperating
 * processes lends the library its transport, and the vector transfers built on it.
 * The library carries no data itself: the host derives C_Communicator, installs one instance
 * for the process with setInstance, and C_Vec_Send / C_Vec_Recv (and C_Vec<T,I>::Send / Recv)
 * call that instance's send and recv. The instance pointer is process-wide; installing it and
 * reading it are atomic, so a host may replace it while other threads transfer vectors. */
#ifndef KVELO_C_COMMUNICATOR_H
#define KVELO_C_COMMUNICATOR_H

#include "kvelo_export.h"
#include "C_Vec.h"

#include <complex>

/* Every operation's default body does nothing, so a host overrides only what it serves; the
 * library calls only send and recv. In send and recv the first two ints are handed through
 * from the caller unchanged (their meaning is the host's), the pointer addresses the values
 * and the last int is their count; with a count of 0 the pointer may be null.
 * The library never creates, copies or destroys a communicator: the host owns it. */
class KVELO_API C_Communicator {
 public:
  // The installed instance, or null when none is installed (as at load).
  static C_Communicator* Instance();
  // Installs c for the whole process (null uninstalls); an earlier instance is neither
  // destroyed nor told.
  static void setInstance(C_Communicator* c);

  // This process's number among the communicating processes, and their number; both are
  // the host's to set, the library never writes them.
  int cpuNum() const { return m_cpuNum; }
  int size() const { return m_size; }

  virtual void Bcast(int* values, int count, int root);
  virtual void Bcast(double* values, int count, int root);
  virtual void Bcast(std::complex<double>* values, int count, int root);
  virtual void Bcast(long long* values, int count, int root);
  virtual void Bcast(bool* values, int count, int root);
  virtual void barrier(int tag);
  virtual void check(int tag);
  virtual void exchange(int a, int b, int* c, int* d, int* e, int* f, int* g);
  virtual void exchange(int a, int b, int* c, int* d, int** e, int* f, int** g);
  virtual void exchange(int a, int b, int* c, int* d, double** e, int* f, double** g);
  virtual void glbMax(int count, int* values);
  virtual void glbMax(int count, double* values);
  virtual void glbMax(int count, long long* values);
  virtual void glbMin(int count, int* values);
  virtual void glbMin(int count, double* values);
  virtual void glbMin(int count, long long* values);
  virtual void glbOr(int count, int* values);
  virtual void glbOr(int count, bool* values);
  virtual void glbSum(int count, int* values);
  virtual void glbSum(int count, double* values);
  virtual void glbSum(int count, std::complex<double>* values);

  // Sends count values from p; when it returns the values have been taken from p.
  virtual void send(int a, int b, std::complex<double>* p, int count);
  virtual void send(int a, int b, std::complex<float>* p, int count);
  virtual void send(int a, int b, double* p, int count);
  virtual void send(int a, int b, float* p, int count);
  virtual void send(int a, int b, long long* p, int count);
  virtual void send(int a, int b, int* p, int count);
  // Receives count values into p; when it returns the values are at p.
  virtual void recv(int a, int b, std::complex<double>* p, int count);
  virtual void recv(int a, int b, std::complex<float>* p, int count);
  virtual void recv(int a, int b, double* p, int count);
  virtual void recv(int a, int b, float* p, int count);
  virtual void recv(int a, int b, long long* p, int count);
  virtual void recv(int a, int b, int* p, int count);

  virtual void glbSum(int count, long long* values);

 protected:
  // Hosts own their communicators through their own class: deleting one through a
  // C_Communicator pointer does not compile (the destructor is not virtual, and stays so to
  // keep the layout hosts were built against).
  ~C_Communicator() = default;

  int m_cpuNum;  // set by the host's class
  int m_size;    // set by the host's class
};

/* C_Vec_Send<T,I>(v, a, b) and C_Vec_Recv<T,I>(v, a, b) are declared in C_Vec.h and exported
 * for T in int, float, double, long long, complex<float>, complex<double> and I in int,
 * long long. A transfer between the same (a, b) is one length message (an int for I = int, a
 * long long for I = long long), then the values in messages of at most 1 MiB each (one message,
 * of count 0, for an empty vector): a vector of up to 1 MiB of values takes exactly two messages.
 * Send: sends v's dimension and values; throws 2880 (nothing sent) above 2^31 - 1 elements,
 * 2871 when no communicator is installed, 38 when a non-empty v gives no address (Adr(0)).
 * Recv: receives a length, then the values into a buffer that grows message by message (room
 * is never made for values that have only been announced), and only then resizes v to the
 * length and copies them in: an exception from the transport leaves v as it was, and so does
 * 1001 when that buffer cannot grow. Throws 2880
 * above 2^31 - 1 and 2 for a negative length (v unchanged, no values received), 2871 when no
 * communicator is installed (nothing received), 2870 when v did not take the length (v's
 * Resize errors pass), 38 when the resized v gives no address; in these last cases the values
 * have been received and are dropped. */

#endif
