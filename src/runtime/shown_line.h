// shown_line.h: how the library prints its log lines (the Kriging fit and refusal lines, the
// design's progress lines), internal to the library. A line is composed only when a stream
// would show it, and a line that cannot be composed or shown for want of memory is left out: a
// log line never fails the operation it reports, nor leaves that operation half done.
#ifndef KVELO_RUNTIME_SHOWN_LINE_H
#define KVELO_RUNTIME_SHOWN_LINE_H

#include "C_KveloMessage.h"

namespace kvrt {

// Prints the message make() gives, its text written by compose(msg), when a stream shows it.
template <class Make, class Compose>
void PrintShownLine(Make make, Compose compose) noexcept {
  try {
    Kvelo::C_KveloMessage msg = make();
    if (!msg.IsActive()) return;
    compose(msg);
    msg.Print();
  } catch (...) {
  }
}

}  // namespace kvrt

#endif
