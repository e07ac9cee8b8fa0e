#include "rules/command_text.h"

#include <gtest/gtest.h>

#include <string>

#include "test_util.h"

namespace {

class CommandTextTest : public ArenaTest {};

TEST_F(CommandTextTest, ControlBytesBecomeQuestionMarks) {
  const char bytes[] = "C6\n\r\t\x1b[2J\x7f\x01 ok \xC2\xB5s";
  const std::string raw(bytes, sizeof bytes - 1);
  EXPECT_EQ(str(command_text(&arena, StrView{raw.data(), raw.size()})), "C6????[2J?? ok \xC2\xB5s");
  const std::string nul("a\0b", 3);
  EXPECT_EQ(str(command_text(&arena, StrView{nul.data(), nul.size()})), "a?b");
  EXPECT_EQ(str(command_text(&arena, kNoneView)), "");
}

TEST_F(CommandTextTest, CpuWordsAreSpaceSeparated) {
  CpuSet s;
  cpuset_parse_list(&s, sv("2-3,6-7,4095"));
  EXPECT_EQ(str(command_cpu_words(&arena, &s)), "2 3 6 7 4095");
  cpuset_clear(&s);
  EXPECT_EQ(str(command_cpu_words(&arena, &s)), "");
}

}  // namespace
