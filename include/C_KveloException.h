/* C_KveloException.h: the one exception type of the library, and the throw helper that
 * every throw site uses. An exception is an error message that also carries an exception
 * code, a reason code, their texts, errno and a snapshot of the raising thread's call stack.
 * Building, copying and assigning an exception never throw, also when memory has run out, so
 * that a failure (1001 "no memory" among them) always reaches the host as this type. */
#ifndef KVELO_C_KVELOEXCEPTION_H
#define KVELO_C_KVELOEXCEPTION_H

#include "kvelo_export.h"
#include "C_KveloMessage.h"

#include <string>

class KVELO_API C_KveloException : public Kvelo::C_KveloMessage {
 public:
  // A reason of 100 takes the reason from errno (mapped to a reason code, errno kept).
  // The calling thread's call stack is copied; code texts are looked up only when reported.
  // Never throws: when memory runs out the stack snapshot is left empty, and a key other than
  // "DefaultMessageTool" that cannot be stored is replaced by that one. A null key is the
  // default key.
  C_KveloException(const char* function = "", const char* file = __FILE__, int line = __LINE__,
                   E_MessageCode_t exceptionCode = 0, E_MessageCode_t reasonCode = 0,
                   const char* key = "DefaultMessageTool") noexcept;
  C_KveloException(const char* function, const char* file, int line, E_MessageCode_t exceptionCode,
                   E_MessageCode_t reasonCode, const std::string& key) noexcept;
  // Copies every field; when memory runs out, as a message copy does (C_KveloMessage.h), the
  // texts and stack entries that cannot be allocated are left out. Never throws.
  C_KveloException(const C_KveloException& other) noexcept;
  C_KveloException& operator=(const C_KveloException& other) noexcept;
  ~C_KveloException() override;

  // Exception and message code = code; exception text = the database text with args
  // (failure text when the lookup fails; empty, so looked up when reported, when memory runs
  // out). A single int argument selects the overload below: pass a code whose text takes one
  // int through setExceptionCode(code) and setReason instead.
  virtual void setExceptionCode(E_MessageCode_t code, ...);
  // Exception and message code = exception; reason code = reason (100: from errno).
  virtual void setExceptionCode(E_MessageCode_t exception, E_MessageCode_t reason);
  // Reason code = code (100: from errno).
  virtual void setReasonCode(E_MessageCode_t code);
  // Reason text = fmt printf-formatted, cut to 1,023 characters; C_KveloException 1001, text
  // unchanged, when memory runs out.
  virtual void setReason(const char* fmt, ...);
  // Reason code = code; reason text = its database text (code 100: from errno, text kept;
  // empty, so looked up when reported, when memory runs out). Never throws.
  virtual void setReason(E_MessageCode_t code, ...);
  virtual E_MessageCode_t getExceptionCode() const;
  virtual E_MessageCode_t getReasonCode() const;
  virtual std::string getReasonMessage() const;     // copy of the reason text (1001 when it cannot be had)
  virtual std::string getExceptionMessage() const;  // copy of the exception text (likewise)
  virtual int getErrno() const;                     // errno captured for reason 100, else 0

 private:
  void setReasonCodeFromErrno();

  E_MessageCode_t m_exceptionCode;
  E_MessageCode_t m_reasonCode;
  std::string m_exceptionText;
  std::string m_reasonText;
  int m_errno;
};

// Throws C_KveloException("Throwing", file, line, code, reason, "DefaultMessageTool") by value;
// allocates nothing before the throw.
[[noreturn]] KVELO_API void KveloThrow(int code, int reason, const char* file, int line);

// The library's throw sites: an exception code with reason 0, or with a reason code.
#define KVELO_THROW(code) KveloThrow((code), 0, __FILE__, __LINE__)
#define KVELO_THROW_R(code, reason) KveloThrow((code), (reason), __FILE__, __LINE__)

#endif
