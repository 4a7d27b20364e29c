// plat_display.h: last-resort display of a text no message tool could route.
// Replaces a modal message box: one line on standard error, never a blocking call.
#ifndef KVELO_PLAT_DISPLAY_H
#define KVELO_PLAT_DISPLAY_H

namespace kvplat {

void ShowError(const char* text);  // writes "Error: <text>\n" to standard error; null text prints nothing after the prefix

}  // namespace kvplat
#endif
