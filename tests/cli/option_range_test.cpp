// Integer option values that do not fit 32 bits are usage errors, not their
// low bits (4294968296 ms would otherwise become a 1000 ms window).
#include <cstdio>
#include <string>
#include <vector>

#include "cli/options.h"
#include "test_util.h"

namespace {

struct Parsed {
  ParseOutcome outcome;
  Options o;
  std::string err;
};

Parsed parse(Arena* a, std::vector<std::string> words) {
  std::vector<char*> argv;
  words.insert(words.begin(), "kelvane");
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  Parsed p{};
  char* buf = nullptr;
  size_t len = 0;
  FILE* err = open_memstream(&buf, &len);
  p.outcome = parse_options(a, static_cast<int>(words.size()), argv.data(), &p.o, stdout, err);
  fclose(err);
  p.err.assign(buf, len);
  free(buf);
  return p;
}

}  // namespace

TEST(OptionRange, ValuesBeyond32BitsAreUsageErrors) {
  Arena a;
  arena_init(&a);
  struct Case {
    const char* option;
    const char* value;
  } cases[] = {{"--interval", "4294968296"},
               {"--interval", "99999999999999999999"},
               {"--fail-under", "-2147483649"},
               {"--duration", "2147483648"},
               {"--interval", "-5"},
               {"--duration", "0"},
               {"--priority", "99"},
               {"--priority", "0"},
               {"--pm-qos", "-1"},
               {"--pm-qos", "1000001"}};
  for (const Case& c : cases) {
    Parsed p = parse(&a, {c.option, c.value});
    EXPECT_FALSE(p.outcome.run) << c.option << " " << c.value;
    EXPECT_EQ(p.outcome.exit_status, 2);
    EXPECT_EQ(p.err,
              std::string("kelvane: ") + c.option + " value '" + c.value + "' is out of range\n");
  }
  Parsed p = parse(&a, {"--interval", "2147483647", "--duration", " 5"});
  EXPECT_TRUE(p.outcome.run);
  EXPECT_EQ(p.o.interval_ms, INT32_MAX);
  EXPECT_EQ(p.o.duration_s, 5);
  p = parse(&a, {"--priority", "98", "--pm-qos", "0", "--load"});
  EXPECT_TRUE(p.o.priority == 98 && p.o.pm_qos_us == 0 && p.o.load);

  arena_release(&a);
}
