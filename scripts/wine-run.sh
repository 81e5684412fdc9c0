#!/usr/bin/env bash
# Runs a Windows exe under wine64 in the project's private prefix (the ctest emulator).
source "$(dirname "$0")/wine-env.sh"
miaolan_wine_prefix
exec "$WINE" "$@"
