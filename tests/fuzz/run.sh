#!/usr/bin/env bash
# Builds fuzz_replies and runs it; the arguments go to libFuzzer. With none it runs until
# stopped. clang keeps narrow literals in UTF-8, so the build is of a copy of the tree whose
# literals are GBK already (gbk_tree.py), in build/fuzz. New inputs collect in
# build/fuzz/corpus; a crash, leak or hang is written to build/fuzz/ as crash-*, leak-* or
# timeout-*, and `build/fuzz/build/tests/fuzz/fuzz_replies FILE` replays it.
# FUZZ_SANITIZE=OFF leaves out ASan and UBSan (build/fuzz/build-plain): about four times the
# executions, for crashes and hangs only.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dir=$root/build/fuzz
sanitize=${FUZZ_SANITIZE:-ON}
build=$dir/build
[ "$sanitize" = ON ] || build=$dir/build-plain
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
python3 "$root/tests/fuzz/gbk_tree.py" "$root" "$dir/src"
cmake -S "$dir/src" -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DMIAOLAN_SANITIZE="$sanitize" -DMIAOLAN_FUZZ=ON "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz_replies
python3 "$root/tests/fuzz/make_seeds.py" "$dir/seeds" "$dir/replies.dict"
mkdir -p "$dir/corpus"
cd "$dir"
exec "$build/tests/fuzz/fuzz_replies" -rss_limit_mb=2048 -timeout=10 -artifact_prefix="$dir/" -dict=replies.dict -print_final_stats=1 "$@" corpus seeds
