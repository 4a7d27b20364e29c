// host_headers.cpp: the installed headers as a C++ host includes them, under -Wall -Wextra
// -Werror: by folder (<kvelo/kvelo.h>) and by name ("kvelo.h"), the C umbrella beside them.
#include <kvelo/kvelo.h>

#include "kvelo.h"
#include "kvelo_c.h"

int main() { return KVELO_VERSION_MAJOR < 0; }
