// libFuzzer harness for a thread's status file.
#include <cstddef>
#include <cstdint>

#include "collect/task_stat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RtTask task{};
  parse_task_status(StrView{reinterpret_cast<const char*>(data), size}, &task);
  return 0;
}
