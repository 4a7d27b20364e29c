/* test_exported_symbols.cpp: libkvelo.so exports its interface and nothing of its insides.
 * Every namespace the sources and headers declare, apart from the public ones, is internal;
 * no defined dynamic symbol may be qualified by one of them or by an anonymous namespace. */
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#ifndef KVELO_LIB_FILE
#error "KVELO_LIB_FILE must name libkvelo.so"
#endif
#ifndef KVELO_SOURCE_DIR
#error "KVELO_SOURCE_DIR must name the source tree"
#endif

namespace {

// The namespaces a host may meet in the dynamic table: the library's own public ones and the
// standard library's instantiations that the headers' inline code needs.
const std::set<std::string> kPublic = {"Kvelo", "MessageCode", "MessageToolEnums", "std"};

bool IdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Every namespace name declared ("namespace name {") in the sources and headers of the
// library, public or not.
std::set<std::string> DeclaredNamespaces() {
  std::set<std::string> out;
  const std::string kw = "namespace";
  for (const char* sub : {"src", "include"}) {
    const std::filesystem::path root = std::filesystem::path(KVELO_SOURCE_DIR) / sub;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
      const std::string ext = e.path().extension().string();
      if (!e.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
      std::ifstream in(e.path());
      std::stringstream text;
      text << in.rdbuf();
      const std::string s = text.str();
      for (std::size_t at = s.find(kw); at != std::string::npos; at = s.find(kw, at + 1)) {
        if (at > 0 && IdentChar(s[at - 1])) continue;
        std::size_t i = at + kw.size();
        if (i >= s.size() || !std::isspace(static_cast<unsigned char>(s[i]))) continue;
        while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
        const std::size_t first = i;
        while (i < s.size() && IdentChar(s[i])) ++i;
        const std::string name = s.substr(first, i - first);
        while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
        if (!name.empty() && i < s.size() && s[i] == '{') out.insert(name);
      }
    }
  }
  return out;
}

// Demangled names of the defined dynamic symbols of a shared object.
std::vector<std::string> DynamicSymbols(const std::string& file) {
  std::vector<std::string> out;
  const std::string cmd = "nm -D --defined-only -C '" + file + "' 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  while (std::fgets(buf, sizeof buf, p)) {
    std::string line(buf);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    // "<address> <type> <name...>"
    const std::size_t a = line.find(' ');
    const std::size_t b = a == std::string::npos ? a : line.find(' ', a + 1);
    if (b != std::string::npos) out.push_back(line.substr(b + 1));
  }
  pclose(p);
  return out;
}

// Whether name is qualified anywhere by ns (ns:: at the start or after a non-identifier).
bool QualifiedBy(const std::string& name, const std::string& ns) {
  const std::string q = ns + "::";
  for (std::size_t at = name.find(q); at != std::string::npos; at = name.find(q, at + 1)) {
    const char before = at == 0 ? ' ' : name[at - 1];
    if (!IdentChar(before)) return true;
  }
  return false;
}

TEST(ExportedSymbols, NoInternalNamespaceReachesTheDynamicTable) {
  std::set<std::string> internal;
  for (const std::string& ns : DeclaredNamespaces())
    if (!kPublic.count(ns)) internal.insert(ns);
  // The scan sees the library's own internal namespaces (a guard against a scan that finds
  // nothing and lets everything pass).
  ASSERT_TRUE(internal.count("kriging_internal"));
  ASSERT_TRUE(internal.count("kvlm"));

  const std::vector<std::string> symbols = DynamicSymbols(KVELO_LIB_FILE);
  ASSERT_GT(symbols.size(), 1000u) << "nm found no dynamic table in " << KVELO_LIB_FILE;

  std::vector<std::string> leaked;
  for (const std::string& s : symbols) {
    bool bad = s.find("(anonymous namespace)") != std::string::npos;
    for (const std::string& ns : internal) bad = bad || QualifiedBy(s, ns);
    if (bad) leaked.push_back(s);
  }
  std::string list;
  for (const std::string& s : leaked) list += "\n  " + s;
  EXPECT_TRUE(leaked.empty()) << leaked.size() << " internal symbols exported:" << list;
}

TEST(ExportedSymbols, InterfaceNamesStayExported) {
  const std::vector<std::string> symbols = DynamicSymbols(KVELO_LIB_FILE);
  const std::set<std::string> have(symbols.begin(), symbols.end());
  // C names a host calls, a class operation and a forwarder.
  for (const char* name : {"zexp", "Erreur", "m_free", "_LM_v_get", "ITF_dgemm",
                           "Kriging<double>::Solve()"})
    EXPECT_TRUE(have.count(name)) << name;
}

}  // namespace
