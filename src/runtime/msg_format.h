// msg_format.h: printf-style formatting into std::string for the message system.
// One place that sizes the result with vsnprintf, so no report writes past a buffer.
#ifndef KVELO_MSG_FORMAT_H
#define KVELO_MSG_FORMAT_H

#include <cstdarg>
#include <cstddef>
#include <string>

namespace Kvelo {
namespace detail {

// fmt formatted with ap (ap is left untouched), cut to limit - 1 characters when limit is
// not 0; a null fmt gives an empty text, a formatting error an empty text.
std::string FormatV(const char* fmt, va_list ap, std::size_t limit = 0);
// The same with the arguments given directly.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace detail
}  // namespace Kvelo
#endif
