#!/bin/bash
# Builds the bundle-reader fuzzer with clang into build-fuzz/ and runs it for a
# bounded time. FUZZ_SECONDS (default 60) sets the time; FUZZ_JOBS the number
# of parallel fuzzing processes (default 1). Inputs that crash or hang end up
# in build-fuzz/artifacts/; keep them as tests/fixtures/bundles/fuzz-*.
set -euo pipefail

cd "$(dirname "$0")/.."
CXX=${FUZZ_CXX:-clang++-14}
SECONDS_TO_RUN=${FUZZ_SECONDS:-60}
JOBS=${FUZZ_JOBS:-1}
OUT=build-fuzz
FLAGS="-std=c++20 -g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -Isrc"

mkdir -p "$OUT/obj" "$OUT/corpus" "$OUT/artifacts"

# Build: the core sources (not the program's main) plus the harness.
objs=""
for src in $(find src -name '*.cpp' ! -path 'src/cli/main.cpp' | sort) fuzz/bundle_fuzz.cpp; do
  obj="$OUT/obj/$(echo "$src" | tr / _).o"
  if [ ! -f "$obj" ] || [ "$src" -nt "$obj" ] || [ -n "$(find src -name '*.h' -newer "$obj" | head -1)" ]; then
    flags=$FLAGS
    [ "$src" = fuzz/bundle_fuzz.cpp ] || flags=${FLAGS/fuzzer,/fuzzer-no-link,}
    # shellcheck disable=SC2086  # flags are words
    $CXX $flags -c "$src" -o "$obj"
  fi
  objs="$objs $obj"
done
# shellcheck disable=SC2086  # flags and objects are words
$CXX $FLAGS $objs -lz -o "$OUT/bundle_fuzz"

# Seeds: small archives in each format the reader knows, plus the kept
# regression inputs.
seed_tree=$(mktemp -d)
trap 'rm -rf "$seed_tree"' EXIT
mkdir -p "$seed_tree/proc/irq/17/eth0" "$seed_tree/proc/1/task/1"
printf '3\n' >"$seed_tree/proc/irq/17/smp_affinity"
printf '1 (init) S\n' >"$seed_tree/proc/1/task/1/stat"
printf 'Linux\n' >"$seed_tree/proc/version"
long="$seed_tree/sys/$(printf 'd%.0s' $(seq 1 90))/$(printf 'e%.0s' $(seq 1 30))"
mkdir -p "$long" && printf 'x' >"$long/v"
for fmt in gnu pax ustar; do
  tar --format=$fmt -cf "$OUT/corpus/seed-$fmt.tar" -C "$seed_tree" . 2>/dev/null || true
  gzip -c "$OUT/corpus/seed-$fmt.tar" >"$OUT/corpus/seed-$fmt.tgz"
  # 'Z' + archive: the harness compresses it before loading
  { printf Z; cat "$OUT/corpus/seed-$fmt.tar"; } >"$OUT/corpus/seed-$fmt.z"
done
if ls tests/fixtures/bundles/fuzz-* >/dev/null 2>&1; then
  cp tests/fixtures/bundles/fuzz-* "$OUT/corpus/"
fi

parallel=""
[ "$JOBS" -le 1 ] || parallel="-jobs=$JOBS -workers=$JOBS"
cd "$OUT"  # parallel runs write their fuzz-N.log files here
# shellcheck disable=SC2086
./bundle_fuzz corpus -max_total_time="$SECONDS_TO_RUN" -timeout=10 -rss_limit_mb=2048 \
  -max_len=65536 -artifact_prefix=artifacts/ -print_final_stats=1 $parallel
