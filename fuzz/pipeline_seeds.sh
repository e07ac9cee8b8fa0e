#!/bin/sh
# Packs the fixture trees into the input framing of the whole-pipeline fuzz
# targets (fuzz/pipeline_input.h), one seed a tree, plus second counter
# readings, measured runs with each tool's recorded output and hostile names;
# and writes the dictionary of the paths and tokens the code looks for.
# Usage: fuzz/pipeline_seeds.sh OUT_DIR DICT_FILE
set -eu

cd "$(dirname "$0")/.."
out=$1
dict=$2
fx=tests/fixtures
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Kernel configurations keep only the lines of the symbols the code reads,
# so that a seed stays small enough for the fuzzer to mutate.
symbols=$(grep -rhoE 'CONFIG_[A-Z0-9_]+' src | sort -u | tr '\n' '|' | sed 's/|$//')
slim_configs() {  # tree
  find "$1" -type f -name 'config-*' | while read -r f; do
    grep -E "($symbols)[= ]" "$f" >"$f.slim" || true
    mv "$f.slim" "$f"
  done
  find "$1" -type f -name 'config.gz' | while read -r f; do
    gzip -dc "$f" | { grep -E "($symbols)[= ]" || true; } | gzip -9n >"$f.slim"
    mv "$f.slim" "$f"
  done
}

# One record: NAME, then CONTENT from standard input with each NUL written
# as the escape \x01 '0'.
record() {
  printf '%s\0' "$1"
  perl -0777 -pe 's/\x00/\x010/g'
  printf '\0'
}

# Every directory and file of a tree, in name order.
pack_tree() {  # tree
  (cd "$1" && find . -mindepth 1 -printf '%P\n' | LC_ALL=C sort) | while read -r p; do
    if [ -d "$1/$p" ]; then printf '/%s/\0\0' "$p"; else record "/$p" <"$1/$p"; fi
  done
}

seed() {  # name, fixture tree: the tree's records, then any further records on stdin
  rm -rf "$work/t" && cp -r "$fx/$2" "$work/t" && slim_configs "$work/t"
  { pack_tree "$work/t"; cat; } >"$out/$1"
}

for t in rich kernel-rt kernel-rt-612 kernel-generic kernel-configgz diff-before diff-after \
  diff-regressed gic-arm64 cgroup-partitions drift-grub; do
  seed "$t" "$t" </dev/null
done

# Second readings of the interrupt counters.
record '!interrupts' <"$fx/interrupts/x86-loc-nohz-after" | seed interrupts-nohz kernel-rt-612
{ record '!interrupts' <"$fx/diff-after/proc/interrupts"; record '!softirqs' <"$fx/diff-after/proc/softirqs"; } |
  seed interrupts-softirqs diff-before
for f in x86-ioapic-msi arm64-gicv3; do
  { record /proc/interrupts <"$fx/interrupts/$f"; record '!interrupts' <"$fx/interrupts/$f"; \
    printf '!options\0window=2.5\0'; } | seed "interrupts-$f" kernel-minimal
done

# Measured runs: each tool's recorded output, with a target the result
# misses so that the diagnostics run too.
m=$fx/measure
{ printf '!options\0measure privileged target=5 duration=30\0'
  record '!run cyclictest' <"$m/cyclictest-summary-cpus-0-1.txt"
  record '!run hwlatdetect' <"$m/hwlatdetect-2.4-layout-hits-no-hwlat-tracer.txt"
  record '!run rtla osnoise' <"$m/rtla-6.1-osnoise-top-no-osnoise-tracer.txt"; } | seed measured-cyclictest kernel-rt-612
{ printf '!options\0measure privileged profile=low-latency\0'
  record '!run rtla timerlat' <"$m/rtla-6.1-timerlat-hist-no-timerlat-tracer.txt"; } | seed measured-timerlat kernel-rt
{ printf '!options\0measure\0'; record '!run cyclictest' <"$m/cyclictest-histogram-cpus-0-1.txt"; } |
  seed measured-unprivileged gic-arm64

# Hostile names: escapes, controls, ill-formed UTF-8 and markup in a thread
# name, a command line, the host name and an interrupt's action; once on a
# full machine and once on a minimal one, where a mutation lands in them
# more often.
hostile=$(printf '\033[2J\033]0;x\007<script>&"\r\302\233\377\376a')
hostile_records() {
  printf '%s\n' "$hostile" | record /proc/sys/kernel/hostname
  printf '4242 (%s) R 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 -51 0 1 0 100 0 0 0\n' "$hostile" |
    record /proc/4242/task/4242/stat
  printf 'Name:\t%s\nCpus_allowed_list:\t0-3\n' "$hostile" | record /proc/4242/task/4242/status
  printf '%s\0--x\0' "$hostile" | record /proc/4242/cmdline
  printf '           CPU0       CPU1\n 40:  5  7  IR-PCI-MSI  %s\n' "$hostile" | record /proc/interrupts
  printf 'Linux version 6.1.0-%s (gcc) #1 SMP PREEMPT_RT\n' "$hostile" | record /proc/version
}
hostile_records | seed hostile-names kernel-rt-612
hostile_records | seed hostile-names-minimal kernel-minimal

# The dictionary: every string literal of the collectors and the tool
# parsers (paths with a number where a format wants one), the kernel
# configuration symbols and boot parameters, the framing's own words,
# numbers that are hard to parse or to write back exactly, and the bytes no
# report may pass on as they are: each C0 control, DEL, the C1 controls,
# bytes that never start UTF-8, and markup.
{
  cat src/collect/*.cpp src/measure/*_parse.cpp src/base/boot_params_read.h |
    grep -oE '"([^"\\]|\\.){2,80}"' | sed 's/%d/0/g; s/%s/x/g' | grep -v '%' |
    sed 's/\\n/\\x0A/g; s/\\t/\\x09/g' | grep -vE '\\[^x"\\]|sv_[a-z]+\(|\)\)'
  printf '"%s"\n' '!interrupts' '!softirqs' '!options' '!run cyclictest' '!run hwlatdetect' \
    '!run rtla timerlat' '!run rtla osnoise' 'measure' 'privileged' 'profile=low-latency' \
    'target=' 'window=' 'duration=' '<script' '</' '&' "'" '\\' '\"'
  printf '"%s"\n' 0.1 3.14159265358979 1e-7 2.5e+300 123456789 4294967296 \
    9223372036854775807 18446744073709551615 -1 -0
  for b in $(seq 0 31) 127 192 193 245 255; do printf '"\\x%02X"\n' "$b"; done
  for b in $(seq 128 159); do printf '"\\xC2\\x%02X"\n' "$b"; done
} | LC_ALL=C sort -u >"$dict"
