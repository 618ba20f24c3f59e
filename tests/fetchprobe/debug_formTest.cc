#include "fetchprobe/debug_form.h"

#include <gtest/gtest.h>

#include "fetchprobe/Command.h"

namespace quarn {

TEST(DebugFormTest, QuotesAndEscapesLikeTheRunningLine) {
  struct Case {
    std::string_view text;
    std::string_view form;
  } cases[] = {
      {"", R"("")"},
      {"-J", R"("-J")"},
      {"say \"hi\"", R"("say \"hi\"")"},
      {"C:\\path\\", R"("C:\\path\\")"},
      {"it's", R"("it's")"},
      {"tab\tcr\rlf\n", R"("tab\tcr\rlf\n")"},
      {std::string_view("nul\0", 4), R"("nul\0")"},
      {"esc\x1b del\x7f", R"("esc\u{1b} del\u{7f}")"},
      {"c1 \xC2\x85", R"("c1 \u{85}")"},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80",
       "\"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\""},
      {"bad \xff\xC3", R"("bad \xff\xc3")"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(debug_form::quoted(c.text), c.form) << c.form;
  }
}

TEST(DebugFormTest, CommandJoinsProgramAndArgumentsWithSingleSpaces) {
  Command command("/bin/x y");
  command.arg("a\"b").arg("").arg("c");
  EXPECT_EQ(command.debugForm(), R"("/bin/x y" "a\"b" "" "c")");
  EXPECT_EQ(Command("/p").debugForm(), R"("/p")");
}

}  // namespace quarn
