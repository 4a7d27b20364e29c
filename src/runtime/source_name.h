// source_name.h: the one form in which a source file is named in messages, exceptions,
// call-stack entries, trace marks and the C matrix library's error records: "src/<module>" for
// a source, "include/<header>" for a header, never the path of the machine that built it.
#ifndef KVELO_RUNTIME_SOURCE_NAME_H
#define KVELO_RUNTIME_SOURCE_NAME_H

#include <cstddef>
#include <string>

namespace kvrt {

// Writes the library's name of the source file `file` into out (size bytes, size > 0), cut to
// size - 1 characters and always terminated. A path whose last component ends in a source
// extension (.c, .cc, .cpp, .cxx) becomes "src/" + that component without its extension, a
// header extension (.h, .hh, .hpp, .hxx) "include/" + the same; anything else (a name already
// of that form, such as "src/bf", or no name at all) is kept as given. A null file gives "".
// Allocates nothing. Returns the length written.
std::size_t SourceName(const char* file, char* out, std::size_t size);
// The same as a string.
std::string SourceName(const char* file);

}  // namespace kvrt
#endif
