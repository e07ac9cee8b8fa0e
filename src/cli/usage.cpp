#include <cstdio>

#include "cli/options.h"

const char kVersion[] = "1.0.1-beta";

namespace {

constexpr char kUsage[] =
    "kelvane 1.0.1-beta -- Linux real-time configuration analyzer\n"
    "\n"
    "Usage:\n"
    "  kelvane [options]                 analyse the live system\n"
    "  kelvane analyze BUNDLE [options]  analyse a captured bundle\n"
    "  kelvane capture [-o FILE]         snapshot this machine\n"
    "\n"
    "Source:\n"
    "  --root PATH          analyse an unpacked tree or a bundle instead of /\n"
    "  --interval MS        counter sampling window (default 1000, 0 disables)\n"
    "\n"
    "Grading:\n"
    "  --profile NAME       hard-rt (default) or low-latency\n"
    "  --target-us N        latency target; default 100 (hard-rt), 1000 (low-latency)\n"
    "  --fail-under N       exit 1 when the score is below N\n"
    "\n"
    "Measurement (needs root):\n"
    "  --measure            run cyclictest/rtla/ftrace and grade the result\n"
    "  --duration N         measurement seconds (default 60)\n"
    "  --force              measure even if another tracer is already active\n"
    "                       --measure drives external tools and needs them on\n"
    "                       PATH: cyclictest and hwlatdetect from rt-tests, plus\n"
    "                       rtla (Debian/Ubuntu: linux-tools-$(uname -r);\n"
    "                       RHEL/Fedora: rtla).  Whatever is not installed is\n"
    "                       skipped, and the report says which.\n"
    "\n"
    "Output:\n"
    "  -f, --format FMT     text (default), json, html\n"
    "  -o, --output FILE    write to FILE ('-' for stdout)\n"
    "                       json and html default to rt-report.json/.html;\n"
    "                       text goes to stdout\n"
    "  -v, --verbose        include evidence paths, impact and fixes\n"
    "  -q, --quiet          score and problems only\n"
    "      --color/--no-color, --ascii\n"
    "\n"
    "Capture:\n"
    "  --redact             strip command lines and hostname from the bundle\n"
    "\n"
    "  -h, --help           this text\n"
    "      --version        version and exit\n"
    "\n"
    "Exit: 0 ok, 1 below --fail-under, 2 usage or read error\n";

// Printed by --help only, after the usage text and a blank line; the usage
// text itself stays as it is, also where it follows an error message.
constexpr char kHelpAdditions[] =
    "\n"
    "More:\n"
    "  kelvane diff OLD NEW [options]    compare two reports of a machine\n"
    "                       OLD and NEW: JSON reports (-f json), bundles or\n"
    "                       trees; bundles and trees are analysed first with\n"
    "                       --interval 0 and the JSON side's profile and target\n"
    "                       unless --profile or --target-us is given.\n"
    "                       Lists what was fixed, what regressed and what is\n"
    "                       still open; -f text (default) or json, written to\n"
    "                       stdout unless -o is given.\n"
    "                       Exit: 0 nothing regressed, 1 a finding regressed or\n"
    "                       the score dropped, 2 bad input\n"
    "  -f junit             JUnit XML for CI servers (default rt-report.xml):\n"
    "                       fail is a failure, unknown skipped, warn passes\n"
    "  -f openmetrics       Prometheus metrics for node_exporter's textfile\n"
    "                       collector (default rt-report.prom), replaced\n"
    "                       atomically: score, category scores, findings\n"
    "                       per severity, measured latency\n"
    "  capture -o -         bundle to stdout: ssh HOST kelvane capture -o - > B\n"
    "  -o FILE              written beside FILE, renamed over it once whole (a\n"
    "                       failed write keeps FILE); refused, exit 2: a link,\n"
    "                       FIFO, socket, device (but /dev/null, /dev/stdout),\n"
    "                       directory, or a file the run reads\n"
    "  --priority N         --measure at SCHED_FIFO N, 1-98 (default 95)\n"
    "  --pm-qos N           --measure holding a PM QoS request of N us; default:\n"
    "                       as production (the value of whoever holds\n"
    "                       /dev/cpu_dma_latency), else none (cyclictest\n"
    "                       --laptop)\n"
    "  --load               --measure under stress-ng (CPU, memory, I/O) on the\n"
    "                       CPUs not measured; without it, or under 600 s, the\n"
    "                       measurement is graded as a smoke test\n"
    "\n"
    "See kelvane(1) for the whole manual.\n";

}  // namespace

void print_usage(FILE* f) { fputs(kUsage, f); }

void print_help_additions(FILE* f) { fputs(kHelpAdditions, f); }
