// libFuzzer harness for a thread's stat line, and the names kelvane derives
// from the thread name it finds there.
#include <cstddef>
#include <cstdint>

#include "collect/task_stat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  StrView text{reinterpret_cast<const char*>(data), size};
  TaskStat st;
  if (!parse_task_stat(text, &st)) return 0;
  if (st.comm.ptr < text.ptr || st.comm.ptr + st.comm.len > text.ptr + text.len) __builtin_trap();
  task_role(st.comm);
  task_irq_number(st.comm);
  task_policy_name(st.policy);
  return 0;
}
