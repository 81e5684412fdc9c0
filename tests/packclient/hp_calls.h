// HP(name): a library function as the program reaches it. On Windows through the native call
// table, so the test exercises the real HPSocket4C.dll loaded by name; natively the static
// library.
#pragma once

#include "HPSocket4C.h"

#ifdef _WIN32
#include "sys/native_calls.h"
#define HP(name) (::sys::Native<::sys::Row::name>())
#else
#define HP(name) (&::name)
#endif
