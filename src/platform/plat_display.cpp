// plat_display.cpp: the standard-error line that stands in for an error dialog.
#include "platform/plat_display.h"

#include <cstdio>

namespace kvplat {

void ShowError(const char* text) {
  std::fprintf(stderr, "Error: %s\n", text ? text : "");
  std::fflush(stderr);
}

}  // namespace kvplat
