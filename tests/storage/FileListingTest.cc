#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "foundation/StringOutputFile.h"
#include "foundation/util_number.h"
#include "storage/FileEntry.h"

namespace quarn {

TEST(FileListingTest, NumbersPathsAndLengths) {
  const std::string rule(75, '=');
  const std::string line = "---+" + std::string(75, '-') + "\n";
  std::vector<std::shared_ptr<FileEntry>> shared{
      std::make_shared<FileEntry>("/d/a.iso", 1500, 0),
      std::make_shared<FileEntry>("/d/b", 1234567, 1500)};
  StringOutputFile out;
  util::toStream(shared.begin(), shared.end(), out);
  EXPECT_EQ("Files:\nidx|path/length\n===+" + rule + "\n" + "  1|/d/a.iso\n   |1.4KiB (1,500)\n" +
                line + "  2|/d/b\n   |1.1MiB (1,234,567)\n" + line,
            out.text);

  std::vector<std::unique_ptr<FileEntry>> owned;
  owned.push_back(std::make_unique<FileEntry>("x", 0, 0));
  StringOutputFile one;
  util::toStream(owned.begin(), owned.end(), one);
  EXPECT_NE(std::string::npos, one.text.find("  1|x\n   |0B (0)\n")) << one.text;
}

}  // namespace quarn
