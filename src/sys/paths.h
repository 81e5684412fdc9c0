// Where the program lives.
#pragma once

#include <string>

namespace sys {

// The folder that holds the executable, without a trailing separator; asked of the system at
// every call (never cached). GBK on Windows.
std::string ProgramFolder();

}  // namespace sys
