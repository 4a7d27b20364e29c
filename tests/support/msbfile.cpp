// msbfile.cpp: the message-file writer of the tests (see msbfile.h).
#include "msbfile.h"

#include <cstdio>

namespace kvtest {

MsbWriter& MsbWriter::Length(std::int32_t n) {
  const std::uint32_t u = static_cast<std::uint32_t>(n);
  for (int shift = 24; shift >= 0; shift -= 8) m_bytes.push_back(static_cast<unsigned char>((u >> shift) & 0xFFu));
  return *this;
}

MsbWriter& MsbWriter::Record(const std::string& text) {
  Length(static_cast<std::int32_t>(text.size()));
  for (char c : text) m_bytes.push_back(static_cast<unsigned char>(static_cast<unsigned char>(c) ^ 0xFFu));
  return *this;
}

MsbWriter& MsbWriter::Header(int lang, int code) {
  return Record("|" + std::to_string(lang) + "," + std::to_string(code));
}

MsbWriter& MsbWriter::Piece(const std::string& text) { return Record(text); }

MsbWriter& MsbWriter::End() { return Record("#"); }

MsbWriter& MsbWriter::Message(int lang, int code, const std::string& text) {
  return Header(lang, code).Piece(text + "\n").End();
}

MsbWriter& MsbWriter::Raw(const std::vector<unsigned char>& bytes) {
  m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
  return *this;
}

bool MsbWriter::Save(const std::string& path) const {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = m_bytes.empty() || std::fwrite(m_bytes.data(), 1, m_bytes.size(), f) == m_bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace kvtest
