// The sysctls written at the next boot, as the persisted-sysctl collector
// reads them (collect/sysctl_conf.h).
#pragma once

#include <cstdint>

#include "base/list.h"
#include "base/str.h"

struct PersistedSysctl {
  StrView key;    // dotted form: "kernel.timer_migration"
  StrView value;
  StrView file;
  int32_t line;   // 1-based
};

struct SysctlConf {
  StrList files;                   // the files read, in the order applied
  List<PersistedSysctl> entries;   // every assignment, in the order applied
};
