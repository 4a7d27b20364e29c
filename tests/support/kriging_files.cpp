/* kriging_files.cpp: big-endian byte builder, temporary model files and the trace-routing
 * environment of the Kriging file and copy tests. */
#include "kriging_files.h"

#include <cstdlib>

#include "C_MessageTool.h"
#include "mat_support.h"
#include "msbfile.h"

namespace kvtest {

BeBytes& BeBytes::Int(std::int32_t v) {
  PutInt(m_bytes, v);
  return *this;
}

BeBytes& BeBytes::Double(double v) {
  PutDouble(m_bytes, v);
  return *this;
}

BeBytes& BeBytes::Text(const std::string& s) {
  Int(static_cast<std::int32_t>(s.size()));
  for (char c : s) m_bytes.push_back(static_cast<unsigned char>(c));
  return *this;
}

FilePtr FileWith(const Bytes& data) { return FilePtr(StreamWith(data)); }

Bytes ContentOf(FILE* f) {
  Bytes out;
  if (f == nullptr || std::fseek(f, 0, SEEK_SET) != 0) return out;
  unsigned char buf[4096];
  std::size_t got;
  while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + got);
  return out;
}

void TraceToolEnvironment::SetUp() {
  m_dir.reset(new TempDir("krigtrace"));
  MsbWriter w;
  w.Message(2, 20, "Cannot do it");
  ASSERT_TRUE(w.Save(m_dir->file("ke2.msb")));
  Kvelo::C_MessageTool* t = Kvelo::C_MessageTool::Instance("DefaultMessageTool");
  ASSERT_NE(nullptr, t);
  t->setResourcesDir(m_dir->str(), static_cast<Kvelo::C_MessageTool::E_CodeLang>(2));
  ASSERT_EQ(0, t->Initialize());
}

void TraceToolEnvironment::TearDown() { m_dir.reset(); }

std::string KrigingTrace(int line) {
  return "fct_Trace: aff_lieu(), Kriging line " + std::to_string(line);
}

std::vector<int> KrigingTraceLines(const MsgCapture& cap) {
  std::vector<int> lines;
  const std::string head = KrigingTrace(0).substr(0, KrigingTrace(0).size() - 1);
  for (const CapturedMessage& m : cap.OfType(8))
    if (m.text.compare(0, head.size(), head) == 0)
      lines.push_back(std::atoi(m.text.c_str() + head.size()));
  return lines;
}

namespace {

std::vector<std::string> InformationStartingWith(const MsgCapture& cap, const std::string& head) {
  std::vector<std::string> out;
  for (const CapturedMessage& m : cap.OfType(1))
    if (m.text.compare(0, head.size(), head) == 0) out.push_back(m.text);
  return out;
}

}  // namespace

std::vector<std::string> FitLines(const MsgCapture& cap) {
  return InformationStartingWith(cap, "   Kernel : ");
}

std::vector<std::string> RefusalLines(const MsgCapture& cap) {
  return InformationStartingWith(cap, "Kriging: ");
}

}  // namespace kvtest
