// net/ may use core/ and what lies below it.
#include "core/settings.h"
#include "net/link.h"

std::string LayeringProbe() { return core::NodeHost(); }
