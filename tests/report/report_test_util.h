// The fixture of the report writer tests: a Report of the hard-rt profile
// with a 100 us target over an empty Snapshot, as the writers are given it.
#pragma once

#include "collect/snapshot.h"
#include "rules/finding.h"
#include "test_util.h"

class ReportWriterTest : public ArenaTest {
 protected:
  void SetUp() override {
    ArenaTest::SetUp();
    snap = arena_new<Snapshot>(&arena);
    snap->arena = &arena;
    report = Report{};
    report.arena = &arena;
    report.snapshot = snap;
    report.profile = Profile::hard_rt;
    report.target_us = 100;
  }

  Snapshot* snap = nullptr;
  Report report{};
};
