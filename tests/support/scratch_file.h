// scratch_file.h: a stream on a fresh temporary file for the tests that write a record and read
// it back: written, then rewound for reading, on its descriptor too (through which the portable
// readers and writers go).
#ifndef KVELO_TEST_SCRATCH_FILE_H
#define KVELO_TEST_SCRATCH_FILE_H

#include <cstdio>
#include <unistd.h>

namespace kvtest {

struct Scratch {
  FILE* f = std::tmpfile();
  Scratch() = default;
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  ~Scratch() {
    if (f) std::fclose(f);
  }
  void Rewind() {
    std::fflush(f);
    std::rewind(f);
    lseek(fileno(f), 0, SEEK_SET);
  }
  // Whether the descriptor stands at the end of the file: every byte written was read.
  bool AtEnd() {
    char c;
    return read(fileno(f), &c, 1) == 0;
  }
};

}  // namespace kvtest

#endif
