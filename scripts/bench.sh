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
${CXX:-g++} -std=c++20 -O2 -Isrc bench/bundle_bench.cpp $LIBS -ldeflate -o "$BUILD/bench/bundle_bench"

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

# ---- Bundle goals: each figure beside its anchor, measured side by side ----
# CPU seconds (user + system, children included) and peak memory of each
# command, the least of three rounds in which every command runs once.
sample() {  # name, command...: lowers <name>_cpu (s) and <name>_peak (KiB)
  name=$1
  shift
  /usr/bin/time -f "%U %S %M" -o "$work/cp" "$@" >/dev/null 2>&1 || true
  read -r user sys kib <"$work/cp"
  eval "c=\${${name}_cpu:-} m=\${${name}_peak:-}"
  c=$(awk -v u="$user" -v s="$sys" -v b="$c" 'BEGIN { t = u + s; print (b == "" || t < b) ? t : b }')
  m=$(awk -v k="$kib" -v b="$m" 'BEGIN { print (b == "" || k < b) ? k : b }')
  eval "${name}_cpu=$c ${name}_peak=$m"
}
if [ -x /usr/bin/time ] && [ -s "$work/b.tgz" ]; then
  for _ in 1 2 3; do
    sample cap "$BUILD/kelvane" capture --root "$work/tree" -o "$work/k.tgz"
    sample tarczf tar czf "$work/t.tgz" -C "$work/tree" .
    sample bun "$BUILD/kelvane" --root "$work/b.tgz" --interval 0 -o /dev/null
    sample gzdc sh -c "gzip -dc '$work/b.tgz' >/dev/null"
    sample tree "$BUILD/kelvane" --root "$work/tree" --interval 0 -o /dev/null
  done
  awk -v a="$cap_cpu" -v b="$tarczf_cpu" 'BEGIN {
    printf "goal capture: cpu %.3f s against tar czf %.3f s: %.2fx (goal <= 0.40x)\n", a, b, a / b }'
  awk -v a="$bun_cpu" -v g="$gzdc_cpu" -v t="$tree_cpu" 'BEGIN {
    printf "goal bundle analysis: cpu %.3f s against gzip -dc %.3f s + tree analysis %.3f s: %.2fx (goal <= 0.50x)\n", a, g, t, a / (g + t) }'
  awk -v p="$bun_peak" -v n="$inflated" -v t="$tree_peak" 'BEGIN {
    printf "goal bundle analysis memory: peak %.1f MiB against inflated %.1f MiB + tree analysis peak %.1f MiB = %.1f MiB: %.2fx (goal <= 1.00x)\n", p / 1024, n / 1048576, t / 1024, n / 1048576 + t / 1024, p / (n / 1024 + t) }'
fi

# CPU-list parsing of hostile inputs.
${CXX:-g++} -std=c++20 -O2 -Isrc bench/cpulist_bench.cpp $LIBS -ldeflate -o "$BUILD/bench/cpulist_bench"
"$BUILD/bench/cpulist_bench"

# ---- Full analysis versus reading the same files ----
# kelvane --root TREE --interval 0 -f json -o /dev/null beside cat of exactly
# the files that analysis opens (taken from strace when it is installed, else
# every file of the tree), best of three runs each; then the same with twice
# the threads. The analysis should stay close to the raw reading and grow
# with the threads as the reading does.
best_of_3() {  # command... ; prints the fastest wall time in seconds
  best=""
  for _ in 1 2 3; do
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    best=$(awk -v s="$start" -v e="$end" -v b="$best" 'BEGIN { t = e - s; print (b == "" || t < b) ? t : b }')
  done
  echo "$best"
}

opened_files() {  # tree, list file: the regular files the analysis opens, NUL-separated
  if command -v strace >/dev/null 2>&1; then
    # -y names the file each open returns, also for a name relative to a
    # directory descriptor; a look (O_PATH) reads nothing.
    strace -f -qq -y -s 4096 -e trace=openat,openat2 -e status=successful -o "$2.trace" \
      "$BUILD/kelvane" --root "$1" --interval 0 -f json -o /dev/null 2>/dev/null
    grep -v -e O_DIRECTORY -e O_PATH "$2.trace" | sed -n "s|.*= [0-9]*<\\($1/.*\\)>\$|\\1|p" | sort -u |
      tr '\n' '\0' >"$2"
  else
    find "$1" -type f -print0 >"$2"
  fi
}

analysis_vs_cat() {  # tree, threads; sets analysis_s and cat_s
  opened_files "$1" "$work/opened-$2"
  files=$(tr -cd '\0' <"$work/opened-$2" | wc -c)
  analysis_s=$(best_of_3 "$BUILD/kelvane" --root "$1" --interval 0 -f json -o /dev/null)
  cat_s=$(best_of_3 sh -c "xargs -0 cat <'$work/opened-$2'")
  printf '%-34s %8.3f s   cat of its %d files %8.3f s   ratio %.2f\n' \
    "analysis ($2 threads)" "$analysis_s" "$files" "$cat_s" "$(awk "BEGIN { print $analysis_s / $cat_s }")"
}

if [ -x "$BUILD/kelvane" ]; then
  # The tree with only the generator's fixed threads (four kernel threads a
  # CPU, one handler thread an interrupt): what everything but the added
  # worker threads costs, subtracted below to leave the cost of each thread.
  base=$((4 * CPUS + IRQS))
  "$BUILD/bench/bundle_bench" tree "$work/tree0" "$CPUS" "$base" "$IRQS"
  analysis_vs_cat "$work/tree0" "$base"
  a0=$analysis_s c0=$cat_s
  analysis_vs_cat "$work/tree" "$THREADS"
  a1=$analysis_s c1=$cat_s
  rm -rf "$work/b.tgz" "$work/t.tgz" "$work/k.tgz"
  "$BUILD/bench/bundle_bench" tree "$work/tree2" "$CPUS" $((THREADS * 2)) "$IRQS"
  analysis_vs_cat "$work/tree2" $((THREADS * 2))
  a2=$analysis_s c2=$cat_s
  per_thread() {  # t_base t_n n: microseconds per thread added beyond the base tree
    awk -v b="$1" -v t="$2" -v n="$3" -v base="$base" 'BEGIN { printf "%.2f", (t - b) * 1e6 / (n - base) }'
  }
  pa1=$(per_thread "$a0" "$a1" "$THREADS") pa2=$(per_thread "$a0" "$a2" $((THREADS * 2)))
  pc1=$(per_thread "$c0" "$c1" "$THREADS") pc2=$(per_thread "$c0" "$c2" $((THREADS * 2)))
  printf 'per added thread: analysis %s us at %d threads, %s us at %d (x%.2f); cat %s us, %s us (x%.2f)\n' \
    "$pa1" "$THREADS" "$pa2" $((THREADS * 2)) "$(awk "BEGIN { print $pa2 / $pa1 }")" \
    "$pc1" "$pc2" "$(awk "BEGIN { print $pc2 / $pc1 }")"
  printf 'doubling the threads: analysis x%.2f, cat x%.2f (whole runs)\n' \
    "$(awk "BEGIN { print $a2 / $a1 }")" "$(awk "BEGIN { print $c2 / $c1 }")"
fi

# The interrupt and scheduling rules alone, on a Snapshot built in memory at
# this size and again with twice the threads.
${CXX:-g++} -std=c++20 -O2 -Isrc bench/rules_bench.cpp $LIBS -ldeflate -o "$BUILD/bench/rules_bench"
"$BUILD/bench/rules_bench" "$CPUS" "$THREADS" "$IRQS"

# ---- Memory of a large /proc/interrupts ----
# A tree whose /proc/interrupts is 10^6 rows of about 60 bytes (below the
# 64 MiB bound on every file): the peak resident size of its analysis
# against the file's size (goal <= 4x the file + 30 MiB).
irq_tree() {  # dir, rows
  mkdir -p "$1/proc"
  cp tests/fixtures/kernel-minimal/proc/version "$1/proc/version"
  awk -v n="$2" 'BEGIN {
    print "           CPU0       CPU1"
    for (i = 0; i < n; i++) printf "%7d: %10d %10d  PCI-MSI %6d-edge  q%05d\n", i, i % 977, i % 13, i, i % 99999
  }' >"$1/proc/interrupts"
}
if [ -x /usr/bin/time ] && [ -x "$BUILD/kelvane" ]; then
  irq_tree "$work/irqtree" "${BENCH_IRQ_ROWS:-1000000}"
  bytes=$(stat -c %s "$work/irqtree/proc/interrupts")
  /usr/bin/time -f "%M" -o "$work/irqpeak" "$BUILD/kelvane" --root "$work/irqtree" --interval 0 \
    -o /dev/null >/dev/null 2>&1 || true
  awk -v k="$(cat "$work/irqpeak")" -v n="$bytes" 'BEGIN {
    printf "goal interrupt table memory: peak %.1f MiB for a %.1f MiB /proc/interrupts: %.2fx + %.1f MiB over 4x (goal <= 4x + 30 MiB)\n", k / 1024, n / 1048576, k * 1024 / n, (k * 1024 - 4 * n) / 1048576 }'
fi
