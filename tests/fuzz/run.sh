#!/usr/bin/env bash
# Builds the fuzz targets and runs them one after the other; the arguments go to libFuzzer.
#   fuzz_replies   what the node sends, into the client's reply dispatcher and list filling
#   fuzz_requests  what a client sends, into the node's protocol
# A -max_total_time=N is shared out: two thirds to fuzz_replies, a third to fuzz_requests.
# Without one, the first target runs until stopped. FUZZ_TARGET=name runs that one alone.
# clang keeps narrow literals in UTF-8, so the build is of a copy of the tree whose literals are
# GBK already (gbk_tree.py), in build/fuzz. Each target starts from its seeds (make_seeds.py)
# and the corpus kept in tests/fuzz/corpus/<name>; new inputs collect in build/fuzz/corpus
# (replies) and build/fuzz/corpus-requests. A crash, leak or hang is written to build/fuzz/ as
# crash-*, leak-* or timeout-* (requests-crash-* and so on for fuzz_requests), and
# `build/fuzz/build/tests/fuzz/fuzz_replies FILE` replays it.
# FUZZ_SANITIZE=OFF leaves out ASan and UBSan (build/fuzz/build-plain): about four times the
# executions, for crashes and hangs only.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dir=$root/build/fuzz
sanitize=${FUZZ_SANITIZE:-ON}
build=$dir/build
[ "$sanitize" = ON ] || build=$dir/build-plain
targets=(fuzz_replies fuzz_requests)
[ -z "${FUZZ_TARGET:-}" ] || targets=("$FUZZ_TARGET")
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
python3 "$root/tests/fuzz/gbk_tree.py" "$root" "$dir/src"
cmake -S "$dir/src" -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DMIAOLAN_SANITIZE="$sanitize" -DMIAOLAN_FUZZ=ON "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"
python3 "$root/tests/fuzz/make_seeds.py" "$dir/seeds" "$dir/replies.dict"
python3 "$root/tests/fuzz/make_seeds.py" --requests "$dir/seeds-requests" "$dir/requests.dict"
mkdir -p "$dir/corpus" "$dir/corpus-requests"

# The total time, if given, and the other arguments.
total=
args=()
for a in "$@"; do
  case $a in
    -max_total_time=*) total=${a#-max_total_time=} ;;
    *) args+=("$a") ;;
  esac
done

cd "$dir"
for target in "${targets[@]}"; do
  time=()
  if [ -n "$total" ]; then
    share=$total
    if [ ${#targets[@]} -gt 1 ]; then
      if [ "$target" = fuzz_replies ]; then share=$((total * 2 / 3)); else share=$((total - total * 2 / 3)); fi
    fi
    time=(-max_total_time="$share")
  fi
  case $target in
    fuzz_replies) prefix=$dir/ corpus=(corpus seeds "$root/tests/fuzz/corpus/replies") dict=replies.dict ;;
    fuzz_requests) prefix=$dir/requests- corpus=(corpus-requests seeds-requests "$root/tests/fuzz/corpus/requests") dict=requests.dict ;;
    *) echo "unknown fuzz target $target" >&2; exit 2 ;;
  esac
  echo "== $target ${time[*]}"
  "$build/tests/fuzz/$target" -rss_limit_mb=2048 -timeout=10 -artifact_prefix="$prefix" -dict="$dict" \
    -print_final_stats=1 "${time[@]}" "${args[@]}" "${corpus[@]}"
done
