// C_MessageDatabase.h: the texts of the message codes, one collection per language, loaded
// from a message file (".msb") and filled at lookup from numbered, typed placeholders.
// Internal to the library: each message tool owns one database (not reentrant, not guarded).
#ifndef KVELO_C_MESSAGEDATABASE_H
#define KVELO_C_MESSAGEDATABASE_H

#include "C_KveloMessage.h"
#include "C_MessageTool.h"

#include <cstdarg>
#include <map>
#include <string>

/* One language's texts by code. */
class C_MessageCollection : public Kvelo::C_KveloBase {
 public:
  explicit C_MessageCollection(int language);
  ~C_MessageCollection() override;

  int Language() const { return m_language; }
  // Copies the text of code into out: 0; -1 (out unchanged) when the code has none.
  int GetText(int code, std::string& out) const;
  // Stores text under code, replacing an earlier text of that code.
  void SetText(int code, const std::string& text);
  // Stores every text of texts under its code, replacing earlier texts of those codes, all or
  // none (std::bad_alloc leaves the collection as it was); texts is emptied or left undefined.
  void AddTexts(std::map<int, std::string>& texts);
  // Number of texts held.
  std::size_t Size() const { return m_texts.size(); }

 private:
  int m_language;
  std::map<int, std::string> m_texts;
};

/* The message texts of one tool. */
class C_MessageDatabase : public Kvelo::C_KveloBase, public C_MessageDatabaseTypes {
 public:
  // Length limit of a text assembled with its arguments (characters).
  enum { TEXT_LIMIT = 5120 };

  C_MessageDatabase();
  // Deletes every collection.
  ~C_MessageDatabase() override;

  // Loads the texts of language from fileName, adding to the collections (a text of an equal
  // code is replaced), and makes language and fileName the database's; 0. An unreadable record
  // ends the file: the messages completed before it are loaded. Throws C_KveloException 102
  // (not a regular file / cannot be examined), 103 with the reason from errno (cannot be
  // opened), 1001 or std::bad_alloc (no memory); a load that throws changes nothing, neither
  // the texts nor the language and file name.
  int LoadFile(const std::string& fileName, E_CodeLang language);
  // out = text of id in the database's language with the arguments substituted (null args:
  // the text unchanged); returns out. Arguments go to the placeholders in number order; one of
  // an unknown conversion takes none and stays as written (reported through Msg_interne), a
  // missing number ends the reading. The result holds at most TEXT_LIMIT characters: a longer
  // one is cut there and reported; one of exactly TEXT_LIMIT is whole and not reported.
  // Throws C_KveloException 104 when id has no text.
  std::string& GetMessage(std::string& out, int id, va_list* args);
  std::string& GetMessage(std::string& out, int id, ...);
  // The collection of language, created empty on first use; null when it cannot be made.
  C_MessageCollection* GetCollection(int language);
  // Stores the work buffer less its last character as text id of language. Throws
  // C_KveloException 1001 when no collection can be had.
  void AddMessageFromBuffer(int id, int language);
  // Whether name can be examined and names a regular file.
  bool _isValidFileName(std::string name);

  E_CodeLang Language() const { return m_language; }
  const std::string& FileName() const { return m_fileName; }

 private:
  C_MessageDatabase(const C_MessageDatabase&) = delete;
  C_MessageDatabase& operator=(const C_MessageDatabase&) = delete;

  std::string m_buffer;  // text of the message being loaded
  E_CodeLang m_language;
  std::string m_fileName;
  std::map<int, C_MessageCollection*> m_collections;
};

#endif
