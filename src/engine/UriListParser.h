#pragma once

#include <memory>
#include <string>
#include <vector>

namespace quarn {

class IOFile;
class Option;

// Reads an input list (plain or gzip-compressed) one entry at a time: a line
// of TAB-separated URIs followed by indented option lines.
class UriListParser {
 public:
  explicit UriListParser(const std::string& filename);
  ~UriListParser();
  UriListParser(const UriListParser&) = delete;
  UriListParser& operator=(const UriListParser&) = delete;

  // Appends the next entry's URIs and options; appends nothing when the file
  // ends before another URI line.
  void parseNext(std::vector<std::string>& uris, Option& op);
  // False once the file is exhausted (the file is closed then).
  bool hasNext();

 private:
  // Reads the next line into line_; false at the end of the file. Throws on a
  // read error.
  bool readLine();

  std::unique_ptr<IOFile> fp_;
  std::string line_;
};

}  // namespace quarn
