/* replay_main.cpp: runs a fuzz harness over files without libFuzzer, so that every build
 * (and ctest) replays the seeds and past findings of a reader. Arguments are files or
 * folders (whose regular files are taken in name order); a harness that crashes or trips
 * a sanitizer fails the run. */
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool ReadWhole(const std::string& path, std::vector<uint8_t>& out) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  out.clear();
  uint8_t buf[65536];
  size_t got;
  while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + got);
  const bool ok = std::ferror(f) == 0;
  std::fclose(f);
  return ok;
}

void Collect(const std::string& path, std::vector<std::string>& files) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return;
  if (S_ISREG(st.st_mode)) {
    files.push_back(path);
    return;
  }
  if (!S_ISDIR(st.st_mode)) return;
  DIR* d = opendir(path.c_str());
  if (d == nullptr) return;
  std::vector<std::string> names;
  while (dirent* e = readdir(d)) {
    const std::string n = e->d_name;
    if (n != "." && n != "..") names.push_back(n);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  for (const std::string& n : names) Collect(path + "/" + n, files);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) Collect(argv[i], files);
  std::vector<uint8_t> data;
  for (const std::string& f : files) {
    if (!ReadWhole(f, data)) {
      std::fprintf(stderr, "cannot read %s\n", f.c_str());
      return 1;
    }
    LLVMFuzzerTestOneInput(data.data(), data.size());
  }
  std::printf("replayed %zu inputs\n", files.size());
  return 0;
}
