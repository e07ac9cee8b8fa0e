#!/bin/bash
# Builds every libFuzzer target fuzz/NAME_fuzz.cpp with clang into build-fuzz/
# and runs each for a bounded time. FUZZ_TARGETS (default: all) names the
# targets to run, FUZZ_SECONDS (default 60) the time each runs, FUZZ_JOBS the
# number of parallel fuzzing processes (default 1). Seeds come from
# fuzz/seeds/NAME/ and the kept regression inputs tests/fixtures/fuzz/NAME/
# (the bundle reader's from tests/fixtures/bundles/fuzz-*; the whole-pipeline
# targets' are packed from the fixture trees by fuzz/pipeline_seeds.sh, with
# a dictionary, and take larger inputs). Inputs that crash
# or hang end up in build-fuzz/artifacts/NAME/; keep them as regression inputs.
set -euo pipefail

cd "$(dirname "$0")/.."
CXX=${FUZZ_CXX:-clang++-14}
SECONDS_TO_RUN=${FUZZ_SECONDS:-60}
JOBS=${FUZZ_JOBS:-1}
OUT=build-fuzz
FLAGS="-std=c++20 -g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -Isrc"

TARGETS=${FUZZ_TARGETS:-$(find fuzz -name '*_fuzz.cpp' | sed 's#fuzz/##; s#_fuzz.cpp##' | sort | tr '\n' ' ')}
mkdir -p "$OUT/obj" "$OUT/corpus" "$OUT/artifacts"

# Build: the core sources (not the program's main) once, then each harness.
build_obj() {  # source, flags
  obj="$OUT/obj/$(echo "$1" | tr / _).o"
  if [ ! -f "$obj" ] || [ "$1" -nt "$obj" ] || [ -n "$(find src -name '*.h' -newer "$obj" | head -1)" ]; then
    # shellcheck disable=SC2086  # flags are words
    $CXX $2 -c "$1" -o "$obj"
  fi
}
core=""
for src in $(find src -name '*.cpp' ! -path 'src/cli/main.cpp' | sort); do
  build_obj "$src" "${FLAGS/fuzzer,/fuzzer-no-link,}"
  core="$core $obj"
done
# The harnesses the whole-pipeline targets share (fuzz/*.cpp that are not a
# target's entry point) join the core.
for src in $(find fuzz -name '*.cpp' ! -name '*_fuzz.cpp' | sort); do
  build_obj "$src" "${FLAGS/fuzzer,/fuzzer-no-link,}"
  core="$core $obj"
done
for t in $TARGETS; do
  build_obj "fuzz/${t}_fuzz.cpp" "$FLAGS"
  # shellcheck disable=SC2086  # flags and objects are words
  $CXX $FLAGS $core "$obj" -ldeflate -lz -lsimdjson -o "$OUT/${t}_fuzz"
  mkdir -p "$OUT/corpus/$t" "$OUT/artifacts/$t"
  if [ -d "fuzz/seeds/$t" ]; then cp -r "fuzz/seeds/$t/." "$OUT/corpus/$t/"; fi
  if [ -d "tests/fixtures/fuzz/$t" ]; then cp -r "tests/fixtures/fuzz/$t/." "$OUT/corpus/$t/"; fi
done

# Bundle reader seeds: small archives in each format the reader knows, plus
# the kept regression inputs.
mkdir -p "$OUT/corpus/bundle"  # also when FUZZ_TARGETS leaves the bundle reader out
seed_tree=$(mktemp -d)
trap 'rm -rf "$seed_tree"' EXIT
mkdir -p "$seed_tree/proc/irq/17/eth0" "$seed_tree/proc/1/task/1"
printf '3\n' >"$seed_tree/proc/irq/17/smp_affinity"
printf '1 (init) S\n' >"$seed_tree/proc/1/task/1/stat"
printf 'Linux\n' >"$seed_tree/proc/version"
long="$seed_tree/sys/$(printf 'd%.0s' $(seq 1 90))/$(printf 'e%.0s' $(seq 1 30))"
mkdir -p "$long" && printf 'x' >"$long/v"
for fmt in gnu pax ustar; do
  tar --format=$fmt -cf "$OUT/corpus/bundle/seed-$fmt.tar" -C "$seed_tree" . 2>/dev/null || true
  gzip -c "$OUT/corpus/bundle/seed-$fmt.tar" >"$OUT/corpus/bundle/seed-$fmt.tgz"
  # 'Z' + archive: the harness compresses it before loading
  { printf Z; cat "$OUT/corpus/bundle/seed-$fmt.tar"; } >"$OUT/corpus/bundle/seed-$fmt.z"
done
if ls tests/fixtures/bundles/fuzz-* >/dev/null 2>&1; then
  cp tests/fixtures/bundles/fuzz-* "$OUT/corpus/bundle/"
fi

# Whole-pipeline seeds and dictionary, for both targets that read the framing.
mkdir -p "$OUT/corpus/pipeline" "$OUT/corpus/tree_vs_bundle"
fuzz/pipeline_seeds.sh "$OUT/corpus/pipeline" "$OUT/pipeline.dict"
cp "$OUT/corpus/pipeline/." "$OUT/corpus/tree_vs_bundle/" -r

parallel=""
[ "$JOBS" -le 1 ] || parallel="-jobs=$JOBS -workers=$JOBS"
cd "$OUT"  # parallel runs write their fuzz-N.log files here
for t in $TARGETS; do
  echo "fuzzing $t for $SECONDS_TO_RUN s" >&2
  extra="-max_len=65536"
  case $t in pipeline | tree_vs_bundle) extra="-max_len=262144 -dict=pipeline.dict" ;; esac
  # shellcheck disable=SC2086
  "./${t}_fuzz" "corpus/$t" -max_total_time="$SECONDS_TO_RUN" -timeout=10 -rss_limit_mb=2048 \
    $extra -artifact_prefix="artifacts/$t/" -print_final_stats=1 $parallel
done
