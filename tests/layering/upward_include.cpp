// net/ must not reach up into the application's wiring: this include has to fail.
#include "app/program.h"
#include "net/link.h"

void LayeringProbe() {}
