#!/bin/sh
# Bundle benchmark on a large machine (256 CPUs, 20,000 threads, 1,500
# interrupts; about 80,000 members): capture versus tar czf of the same tree,
# loading plus walking the bundle versus merely inflating it, the memory a
# loaded bundle holds against its inflated size, and the analysis of the tree.
# Reports figures; it is not a pass/fail test. BENCH_CPUS, BENCH_THREADS, BENCH_IRQS
# change the size.
set -eu

cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
CPUS=${BENCH_CPUS:-256}
THREADS=${BENCH_THREADS:-20000}
IRQS=${BENCH_IRQS:-1500}

if [ ! -f "$BUILD/libkelvane_cli.a" ]; then
  cmake -S . -B "$BUILD" >/dev/null
  cmake --build "$BUILD" -j2 --target kelvane_cli
fi
# The per-folder libraries, each after the ones that use it.
LIBS=""
for layer in cli report rules measure collect source base; do
  [ -f "$BUILD/libkelvane_$layer.a" ] && LIBS="$LIBS $BUILD/libkelvane_$layer.a"
done
mkdir -p "$BUILD/bench"
${CXX:-g++} -std=c++20 -O2 -Isrc bench/bundle_bench.cpp $LIBS -lz -o "$BUILD/bench/bundle_bench"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

timed() {  # label, command...: wall time, and CPU time (user + system) when /usr/bin/time runs
  label=$1
  shift
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f "%e %U %S" -o "$work/time" "$@"
    awk -v l="$label" '{ printf "%-34s %8.3f s  (cpu %.3f s)\n", l, $1, $2 + $3 }' "$work/time"
  else
    start=$(date +%s.%N)
    "$@"
    end=$(date +%s.%N)
    printf '%-34s %8.3f s\n' "$label" "$(awk "BEGIN { print $end - $start }")"
  fi
}

timed "make tree ($CPUS cpus, $THREADS threads, $IRQS irqs)" \
  "$BUILD/bench/bundle_bench" tree "$work/tree" "$CPUS" "$THREADS" "$IRQS"
echo "tree files: $(find "$work/tree" -type f | wc -l), directories: $(find "$work/tree" -type d | wc -l)"
timed "capture --root tree" "$BUILD/bench/bundle_bench" capture "$work/tree" "$work/b.tgz"
timed "tar czf tree" tar czf "$work/t.tgz" -C "$work/tree" .
echo "bundle members: $(tar tzf "$work/b.tgz" | wc -l), size $(stat -c %s "$work/b.tgz") bytes (tar czf: $(stat -c %s "$work/t.tgz"))"
timed "load + walk bundle" "$BUILD/bench/bundle_bench" load "$work/b.tgz"
timed "gzip -dc bundle" sh -c "gzip -dc '$work/b.tgz' >/dev/null"
# Peak memory of a bundle analysis against the inflated bundle: the Arena
# never gives memory back, so its total is the peak it held.
inflated=$(gzip -dc "$work/b.tgz" | wc -c)
"$BUILD/bench/bundle_bench" load "$work/b.tgz" | awk -v n="$inflated" '/^arena/ {
  printf "bundle peak memory: %.3fx the inflated bundle after loading, %.3fx after the walk (%d bytes inflated)\n", $2 / n, $6 / n, n }'
timed "walk the tree itself" "$BUILD/bench/bundle_bench" load "$work/tree"
# Through the program itself, once its driver runs captures.
if "$BUILD/kelvane" capture --root "$work/tree" -o "$work/k.tgz" >/dev/null 2>&1 && [ -s "$work/k.tgz" ]; then
  timed "kelvane capture --root tree" "$BUILD/kelvane" capture --root "$work/tree" -o "$work/k.tgz"
fi
# Analysis of the tree (kernel configuration of 260 KB included), averaged.
runs=20
start=$(date +%s.%N)
i=0
while [ $i -lt $runs ]; do
  "$BUILD/kelvane" --root "$work/tree" --interval 0 -o /dev/null >/dev/null 2>&1 || true
  i=$((i + 1))
done
end=$(date +%s.%N)
printf '%-34s %8.2f ms a run (%d runs)\n' "kelvane --root tree" "$(awk "BEGIN { print ($end - $start) * 1000 / $runs }")" "$runs"

# CPU-list parsing of hostile inputs.
${CXX:-g++} -std=c++20 -O2 -Isrc bench/cpulist_bench.cpp $LIBS -lz -o "$BUILD/bench/cpulist_bench"
"$BUILD/bench/cpulist_bench"
