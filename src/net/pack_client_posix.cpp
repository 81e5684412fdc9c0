// PackClient over the statically linked library.
#include "net/pack_client.h"

#define MIAOLAN_HP(name) (&::name)
#include "net/pack_client_methods.inc"
