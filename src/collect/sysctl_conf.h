// Persisted sysctls: what systemd-sysctl writes at the next boot, read from
// the sysctl.d directories and /etc/sysctl.conf.
#pragma once

#include <cstdint>

#include "base/arena.h"
#include "base/list.h"
#include "base/str.h"
#include "collect/persisted_sysctl.h"

struct Snapshot;

// Parses one sysctl.d file (sysctl.d(5), "Configuration Format"): one
// "key = value" assignment a line; empty lines and lines whose first
// non-blank byte is "#" or ";" are comments; a leading "-" only makes a
// failed write silent; a line without "=" assigns nothing. "/" and "." both
// separate the parts of a key: when the first separator is "/", the key is a
// path and every "/" and "." trade places to give the dotted form (so
// "net/ipv4/conf/eth0.100/forwarding" is "net.ipv4.conf.eth0/100.forwarding").
void parse_sysctl_conf(Arena* a, StrView text, StrView file, List<PersistedSysctl>* out);

// The value that will be written at boot: the last assignment of key, or null.
const PersistedSysctl* sysctl_conf_get(const SysctlConf* conf, const char* key);

// Fills snap->sysctl_conf in systemd-sysctl's order (sysctl.d(5),
// "Configuration Directories and Precedence"): the *.conf files of
// /etc/sysctl.d, /run/sysctl.d, /usr/local/lib/sysctl.d, /usr/lib/sysctl.d and
// /lib/sysctl.d, a name in an earlier directory hiding the same name in a
// later one, all applied in name order; then /etc/sysctl.conf, which Debian
// links in as 99-sysctl.conf.
void collect_sysctl_conf(Snapshot* snap);
