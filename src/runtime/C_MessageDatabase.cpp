// C_MessageDatabase.cpp: loads the texts of one language from a message file (portable
// strings with every byte complemented: headers "|lang,code", text pieces, end markers) and
// turns a code into its text, filling "{N,conv}" placeholders from the caller's arguments.
#include "runtime/C_MessageDatabase.h"

#include "C_CallStack.h"
#include "C_KveloException.h"
#include "bf.h"
#include "erreur.h"
#include "kvelosys.h"
#include "platform/plat_file.h"
#include "runtime/int_text.h"
#include "runtime/msg_format.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

// Stored first bytes of the two marker records: the complements of '|' and '#'.
const unsigned char kHeaderByte = 0x83;
const unsigned char kEndByte = 0xDC;

const char kUnknownConv[] = "internal error: unknown format specifier";
const char kArgTooLong[] = "*arg too long*";

struct FileCloser {
  void operator()(FILE* f) const {
    if (f != nullptr) std::fclose(f);
  }
};

struct RecordFree {
  void operator()(char* p) const { kvelomem_free(p, __FILE__, __LINE__); }
};

// A stored record back in plain text: each byte complemented up to the first stored zero.
std::string Restore(const char* stored) {
  std::string out;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(stored); *p != 0; ++p)
    out.push_back(static_cast<char>(*p ^ 0xFFu));
  return out;
}

// A message header "|language,id" (as "|%d,%d" scans it): false unless both numbers are there
// and fit in an int.
bool ParseHeader(const std::string& header, int& lang, int& id) {
  const char* p = header.c_str();
  if (*p != '|') return false;
  ++p;
  if (!kvrt::ReadIntText(p, lang) || *p != ',') return false;
  ++p;
  return kvrt::ReadIntText(p, id);
}

// One "{N,conv}" placeholder of a text: its number and its conversion.
struct Placeholder {
  std::size_t begin = 0;  // position of the '{'
  std::size_t end = 0;    // position after the '}'
  int number = -1;        // -1 for a number no argument can have (negative or too large)
  std::string conv;
  std::string text;       // the formatted argument
  bool filled = false;
};

// Reads a placeholder at s[pos] == '{' the way "{%d,%[^}]" scans it, with the closing brace
// required: blanks, an optional sign and digits, a comma, then at least one character before
// the next '}'.
bool ParsePlaceholder(const std::string& s, std::size_t pos, Placeholder& ph) {
  std::size_t p = pos + 1;
  while (p < s.size() && std::isspace(static_cast<unsigned char>(s[p]))) ++p;
  bool negative = false;
  if (p < s.size() && (s[p] == '+' || s[p] == '-')) {
    negative = (s[p] == '-');
    ++p;
  }
  const std::size_t digits = p;
  long long value = 0;
  while (p < s.size() && std::isdigit(static_cast<unsigned char>(s[p]))) {
    if (value <= INT_MAX) value = value * 10 + (s[p] - '0');
    ++p;
  }
  if (p == digits || p >= s.size() || s[p] != ',') return false;
  ++p;
  const std::size_t close = s.find('}', p);
  if (close == std::string::npos || close == p) return false;
  if (negative) value = -value;
  ph.begin = pos;
  ph.end = close + 1;
  ph.number = (value >= 0 && value <= INT_MAX) ? static_cast<int>(value) : -1;
  ph.conv = s.substr(p, close - p);
  return true;
}

enum ConvKind { CONV_INT, CONV_UINT, CONV_E, CONV_F, CONV_G1, CONV_G2, CONV_R, CONV_STR, CONV_UNKNOWN };

// Only the first character counts, and the second for g and r.
ConvKind Classify(const std::string& conv) {
  const char second = conv.size() > 1 ? conv[1] : '\0';
  switch (conv[0]) {
    case 'd': return CONV_INT;
    case 'u': return CONV_UINT;
    case 'e': return CONV_E;
    case 'f': return CONV_F;
    case 'g': return second == '1' ? CONV_G1 : second == '2' ? CONV_G2 : CONV_UNKNOWN;
    case 'r': return (second == 'e' || second == 'f') ? CONV_R : CONV_UNKNOWN;
    case 's': return CONV_STR;
    default: return CONV_UNKNOWN;
  }
}

using Kvelo::detail::Format;

// Takes the next argument as kind says and formats it.
std::string FormatArgument(ConvKind kind, va_list* args, int number, int id) {
  switch (kind) {
    case CONV_INT: return Format("%d", va_arg(*args, int));
    case CONV_UINT: return Format("%u", va_arg(*args, unsigned int));
    case CONV_E: return Format("%e", va_arg(*args, double));
    case CONV_F: return Format("%g", va_arg(*args, double));
    case CONV_G1: return Format("%10g", va_arg(*args, double));
    case CONV_G2: return Format("%15g", va_arg(*args, double));
    case CONV_R: return Format("%lf", va_arg(*args, double));
    case CONV_STR: {
      const char* s = va_arg(*args, const char*);
      if (s == nullptr) return std::string();
      const std::size_t limit = C_MessageDatabase::TEXT_LIMIT;
      if (strnlen(s, limit) >= limit) {
        Msg_interne("Argument %d to the message %d is too long! The maximum message len is %d.", number, id,
                    static_cast<int>(limit));
        return kArgTooLong;
      }
      return std::string(s);
    }
    default: return std::string();
  }
}

}  // namespace

// ==================================================================== C_MessageCollection

C_MessageCollection::C_MessageCollection(int language) : m_language(language) {}

C_MessageCollection::~C_MessageCollection() {}

int C_MessageCollection::GetText(int code, std::string& out) const {
  auto it = m_texts.find(code);
  if (it == m_texts.end()) return -1;
  out = it->second;
  return 0;
}

void C_MessageCollection::SetText(int code, const std::string& text) {
  // The copy is made first: out of memory, no code is left holding an empty or a cut text.
  std::string copy(text);
  m_texts[code].swap(copy);
}

void C_MessageCollection::AddTexts(std::map<int, std::string>& texts) {
  if (m_texts.empty()) {
    m_texts.swap(texts);
    return;
  }
  // Merged into a copy, which then takes the place of the texts held: all or nothing.
  std::map<int, std::string> merged(m_texts);
  for (auto& kv : texts) merged[kv.first].swap(kv.second);
  m_texts.swap(merged);
}

// ==================================================================== C_MessageDatabase

C_MessageDatabase::C_MessageDatabase() : m_language(static_cast<E_CodeLang>(0)) {}

C_MessageDatabase::~C_MessageDatabase() {
  for (auto& kv : m_collections) delete kv.second;
}

bool C_MessageDatabase::_isValidFileName(std::string name) {
  Kvelo::C_Trace trace("C_MessageDatabase::_isValidFileName", __FILE__, __LINE__);
  kvplat::FileInfo info;
  return kvplat::StatPath(name.c_str(), info) && info.isRegular;
}

C_MessageCollection* C_MessageDatabase::GetCollection(int language) {
  Kvelo::C_Trace trace("C_MessageDatabase::GetCollection", __FILE__, __LINE__);
  auto it = m_collections.find(language);
  if (it != m_collections.end()) return it->second;
  std::unique_ptr<C_MessageCollection> made(new (std::nothrow) C_MessageCollection(language));
  if (!made) return nullptr;
  try {
    m_collections[language] = made.get();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  return made.release();
}

void C_MessageDatabase::AddMessageFromBuffer(int id, int language) {
  Kvelo::C_Trace trace("C_MessageDatabase::AddMessageFromBuffer", __FILE__, __LINE__);
  std::string text = m_buffer;
  if (!text.empty()) text.erase(text.size() - 1);  // the line end of the last piece
  C_MessageCollection* collection = GetCollection(language);
  if (collection == nullptr) KVELO_THROW(1001);
  collection->SetText(id, text);
}

int C_MessageDatabase::LoadFile(const std::string& fileName, E_CodeLang language) {
  Kvelo::C_Trace trace("C_MessageDatabase::LoadFile", __FILE__, __LINE__);
  if (!_isValidFileName(fileName)) KVELO_THROW(102);
  std::unique_ptr<FILE, FileCloser> file(std::fopen(fileName.c_str(), "rb"));
  if (!file) KVELO_THROW_R(103, 100);

  // The texts of this file are gathered apart and enter the database together at the end: a
  // load that fails (no file, no memory) leaves the database as it was, language and texts.
  std::map<int, std::string> texts;
  const int lang = static_cast<int>(language);
  bool collecting = false;
  int code = 0;
  m_buffer.clear();
  auto keep = [&]() {
    std::string text = m_buffer;
    if (!text.empty()) text.erase(text.size() - 1);  // the line end of the last piece
    texts[code] = std::move(text);
  };
  for (;;) {
    char* raw = nullptr;
    int r = BF_fread_str(file.get(), &raw);
    std::unique_ptr<char, RecordFree> record(raw);
    if (r != 0 || !record) break;  // unreadable, truncated or empty record: end of the file
    const unsigned char first = static_cast<unsigned char>(record.get()[0]);
    if (first == kEndByte) {
      if (collecting) keep();
      collecting = false;
    } else if (first == kHeaderByte) {
      if (collecting) keep();
      collecting = false;
      const std::string header = Restore(record.get());
      int headerLang = 0;
      int id = 0;
      if (header.find("class") == std::string::npos && ParseHeader(header, headerLang, id) && headerLang == lang) {
        code = id;
        collecting = true;
        m_buffer.clear();
      }
    } else if (collecting) {
      m_buffer += Restore(record.get());
    }
  }
  // A message still being collected when the file ends has no end: it is dropped.
  m_buffer.clear();
  C_MessageCollection* collection = GetCollection(lang);
  if (collection == nullptr) KVELO_THROW(1001);
  collection->AddTexts(texts);
  m_language = language;
  m_fileName = fileName;
  return 0;
}

std::string& C_MessageDatabase::GetMessage(std::string& out, int id, ...) {
  va_list ap;
  va_start(ap, id);
  try {
    GetMessage(out, id, &ap);
  } catch (...) {
    va_end(ap);
    throw;
  }
  va_end(ap);
  return out;
}

std::string& C_MessageDatabase::GetMessage(std::string& out, int id, va_list* args) {
  Kvelo::C_Trace trace("C_MessageDatabase::GetMessage", __FILE__, __LINE__);
  C_MessageCollection* collection = GetCollection(m_language);
  if (collection == nullptr) KVELO_THROW(1001);
  std::string text;
  if (collection->GetText(id, text) != 0) KVELO_THROW(104);
  if (args == nullptr || text.find('{') == std::string::npos) {
    out = text;
    return out;
  }

  // First pass: the placeholders in order of appearance.
  std::vector<Placeholder> holders;
  std::map<int, std::vector<std::size_t> > byNumber;
  for (std::size_t pos = text.find('{'); pos != std::string::npos;) {
    Placeholder ph;
    if (ParsePlaceholder(text, pos, ph)) {
      if (ph.number >= 0) byNumber[ph.number].push_back(holders.size());
      holders.push_back(ph);
      pos = text.find('{', ph.end);
    } else {
      pos = text.find('{', pos + 1);
    }
  }

  // Second pass: arguments in the order of their numbers, each read by the conversion of the first
  // placeholder bearing its number and shown wherever that number stands. A placeholder of an
  // unknown conversion takes no argument: it is reported, stays as written, and the numbers after
  // it take the following arguments. Reading stops at a missing number only: which type the
  // argument of that number has is unknown, and guessing it would read the caller's arguments
  // wrongly. Unfilled placeholders stay as written.
  for (int number = 0;; ++number) {
    auto it = byNumber.find(number);
    if (it == byNumber.end()) break;
    const ConvKind kind = Classify(holders[it->second.front()].conv);
    if (kind == CONV_UNKNOWN) {
      Msg_interne("%s", kUnknownConv);
      continue;
    }
    const std::string value = FormatArgument(kind, args, number, id);
    for (std::size_t k : it->second) {
      holders[k].text = value;
      holders[k].filled = true;
    }
  }

  // Third pass: the result, at most TEXT_LIMIT characters.
  const std::size_t limit = TEXT_LIMIT;
  std::string result;
  bool cut = false;
  auto put = [&](const std::string& piece) {
    if (cut) return;
    if (result.size() + piece.size() > limit) {
      result.append(piece, 0, limit - result.size());
      cut = true;
    } else {
      result += piece;
    }
  };
  std::size_t pos = 0;
  for (const Placeholder& ph : holders) {
    put(text.substr(pos, ph.begin - pos));
    put(ph.filled ? ph.text : text.substr(ph.begin, ph.end - ph.begin));
    pos = ph.end;
  }
  put(text.substr(pos));
  if (cut)
    Msg_interne("Message %d is too long! The maximum message len is %d.", id, static_cast<int>(limit));
  out = result;
  return out;
}
