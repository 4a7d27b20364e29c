// msbfile.h: writer of message files for tests. A message file is a run of records, each a
// 32-bit big-endian byte count followed by that many bytes, every byte stored complemented
// (XOR 0xFF). A record restoring to "|lang,code" opens a message, one restoring to "#" ends
// it, any other record is a piece of the current text. Written here byte by byte, without
// the library, so that the reader is checked against an independent encoder.
#ifndef KVELO_TEST_MSBFILE_H
#define KVELO_TEST_MSBFILE_H

#include <cstdint>
#include <string>
#include <vector>

namespace kvtest {

class MsbWriter {
 public:
  // A record holding text (plain; stored complemented).
  MsbWriter& Record(const std::string& text);
  // A header "|<lang>,<code>".
  MsbWriter& Header(int lang, int code);
  // A text piece (carry its own line end).
  MsbWriter& Piece(const std::string& text);
  // An end marker "#".
  MsbWriter& End();
  // Header, the text as one piece followed by "\n", end marker.
  MsbWriter& Message(int lang, int code, const std::string& text);
  // Raw bytes appended as they are (for broken files: bare lengths, short records).
  MsbWriter& Raw(const std::vector<unsigned char>& bytes);
  // A 32-bit big-endian value appended as it is.
  MsbWriter& Length(std::int32_t n);

  const std::vector<unsigned char>& Bytes() const { return m_bytes; }
  // Replaces the file path with the records; false when it cannot be written.
  bool Save(const std::string& path) const;

 private:
  std::vector<unsigned char> m_bytes;
};

}  // namespace kvtest

#endif
