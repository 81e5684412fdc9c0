// PackClient bound to HPSocket4C.dll by name through the native call table.
#include "net/pack_client.h"
#include "sys/native_calls.h"

#define MIAOLAN_HP(name) (::sys::Native<::sys::Row::name>())
#include "net/pack_client_methods.inc"
