/* test_itf_symbols.cpp: the exported ITF_* set of libkvelo.so is exactly the entry-point table
 * (tools/blas/itf_table.txt), the table has the composition the interface promises (148 BLAS,
 * 1065 LAPACK entry points, per precision), and every routine forwarded to resolves in the
 * OpenBLAS the library links. */
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#ifndef KVELO_LIB_FILE
#error "KVELO_LIB_FILE must name libkvelo.so"
#endif

namespace {

struct TableEntry {
    std::string name, result, kind, section;
};

std::vector<TableEntry> read_table()
{
    std::vector<TableEntry> out;
    std::ifstream in(ITF_TABLE_FILE);
    std::string line, section;
    while (std::getline(in, line)) {
        if (line.rfind("# BLAS", 0) == 0 && line.size() == 6)
            section = "BLAS";
        else if (line.rfind("# LAPACK", 0) == 0 && line.size() == 8)
            section = "LAPACK";
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream s(line);
        TableEntry e;
        s >> e.name >> e.result >> e.kind;
        e.section = section;
        out.push_back(e);
    }
    return out;
}

// Defined dynamic symbols of a shared object, by name, with nm's type letter.
std::map<std::string, char> dynamic_symbols(const std::string& file)
{
    std::map<std::string, char> out;
    const std::string cmd = "nm -D --defined-only '" + file + "' 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p)
        return out;
    char buf[1024];
    while (std::fgets(buf, sizeof buf, p)) {
        std::istringstream s(buf);
        std::string addr, type, name;
        if (s >> addr >> type >> name)
            out[name] = type[0];
    }
    pclose(p);
    return out;
}

TEST(ItfSymbols, TableHasTheInterfacesComposition)
{
    const std::vector<TableEntry> t = read_table();
    ASSERT_EQ(t.size(), 1213u);
    std::map<std::string, int> by;
    for (const TableEntry& e : t) {
        ++by[e.section];
        if (e.kind == "own")
            ++by["own"];
        if (e.section == "LAPACK") {
            const char p = e.name[0];
            ++by[p == 'i' ? std::string("lapack-int") : std::string("lapack-") + p];
            if (p != 'i' && e.name.compare(1, 2, "la") == 0)
                ++by[std::string("la-") + p];
        }
    }
    EXPECT_EQ(by["BLAS"], 148);
    EXPECT_EQ(by["LAPACK"], 1065);
    EXPECT_EQ(by["own"], 4);
    EXPECT_EQ(by["lapack-c"], 265);
    EXPECT_EQ(by["lapack-d"], 271);
    EXPECT_EQ(by["lapack-s"], 261);
    EXPECT_EQ(by["lapack-z"], 265);
    EXPECT_EQ(by["lapack-int"], 3);
    EXPECT_EQ(by["la-c"], 65);
    EXPECT_EQ(by["la-d"], 81);
    EXPECT_EQ(by["la-s"], 81);
    EXPECT_EQ(by["la-z"], 65);
}

TEST(ItfSymbols, LibraryExportsExactlyTheTablesEntryPoints)
{
    std::set<std::string> want;
    for (const TableEntry& e : read_table())
        want.insert("ITF_" + e.name);
    const std::map<std::string, char> syms = dynamic_symbols(KVELO_LIB_FILE);
    ASSERT_FALSE(syms.empty()) << "nm -D gave nothing for " << KVELO_LIB_FILE;
    std::set<std::string> have;
    for (const auto& s : syms) {
        if (s.first.rfind("ITF_", 0) == 0) {
            have.insert(s.first);
            EXPECT_EQ(s.second, 'T') << s.first << " is not a function in the text section";
        }
    }
    for (const std::string& n : want)
        EXPECT_TRUE(have.count(n)) << n << " is not exported";
    for (const std::string& n : have)
        EXPECT_TRUE(want.count(n)) << n << " is exported but not in the table";
    EXPECT_EQ(have.size(), 1213u);
}

TEST(ItfSymbols, StemsExistInExactlyTheirPrecisions)
{
    const std::map<std::string, char> syms = dynamic_symbols(KVELO_LIB_FILE);
    const struct {
        const char* name;
        bool present;
    } cases[] = {
        {"ITF_dgbsv", true},    {"ITF_cgbsv", true},    {"ITF_sgbsv", false},
        {"ITF_dgelsy", true},   {"ITF_sgelsy", false},  {"ITF_cgelsy", false},
        {"ITF_zgelsy", false},  {"ITF_dgegs", true},    {"ITF_ztzrqf", true},
        {"ITF_zhetrf", true},   {"ITF_dhetrf", false},  {"ITF_dsyevx", true},
        {"ITF_zsyevx", false},  {"ITF_zspmv", true},    {"ITF_zhpmv", true},
        {"ITF_dzgemv", true},   {"ITF_kvelozdot", true}, {"ITF_dsdot", false},
        {"ITF_srotm", false},   {"ITF_dgesdd", false},  {"ITF_dgetrf2", false},
    };
    for (const auto& k : cases)
        EXPECT_EQ(syms.count(k.name) == 1, k.present) << k.name;
}

TEST(ItfSymbols, EveryForwardedRoutineResolvesInOpenBlas)
{
    void* h = dlopen(KVELO_OPENBLAS_FILE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(h, nullptr) << dlerror();
    int forwarded = 0;
    for (const TableEntry& e : read_table()) {
        if (e.kind == "own")
            continue;
        ++forwarded;
        const std::string sym = e.name + "_";
        EXPECT_NE(dlsym(h, sym.c_str()), nullptr) << sym << " is missing from OpenBLAS";
    }
    // What the library's own kernels call besides: LSAME, XERBLA and the complex dots.
    for (const char* sym : {"lsame_", "xerbla_", "zdotc_", "zdotu_", "cdotc_", "cdotu_"})
        EXPECT_NE(dlsym(h, sym), nullptr) << sym;
    EXPECT_EQ(forwarded, 1209);
    dlclose(h);
}

}  // namespace
