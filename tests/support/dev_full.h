// dev_full.h: the always-full device, for tests of write failures. It is used only when it
// really is a character device: where it is missing, nothing is created in its place.
#ifndef KVELO_TEST_DEV_FULL_H
#define KVELO_TEST_DEV_FULL_H

#include <sys/stat.h>

#include <cstdio>

namespace kvtest {

// A write stream on /dev/full, or null when no such character device exists (the caller
// skips). "r+b" never creates a file, whatever the user's rights.
inline FILE* OpenDevFull() {
  struct stat st;
  if (stat("/dev/full", &st) != 0 || !S_ISCHR(st.st_mode)) return nullptr;
  return std::fopen("/dev/full", "r+b");
}

}  // namespace kvtest

#endif
