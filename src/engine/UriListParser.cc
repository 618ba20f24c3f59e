#include "engine/UriListParser.h"

#include <iterator>
#include <sstream>

#include "config/OptionParser.h"
#include "foundation/DlAbortEx.h"
#include "foundation/GZipFile.h"
#include "foundation/util_string.h"

namespace quarn {

UriListParser::UriListParser(const std::string& filename)
    : fp_(std::make_unique<GZipFile>(filename.c_str(), IOFile::READ)) {}

UriListParser::~UriListParser() = default;

bool UriListParser::readLine() {
  line_ = fp_->getLine();
  if (!line_.empty()) {
    return true;
  }
  if (fp_->eof()) {
    return false;
  }
  if (!*fp_) {
    throw DL_ABORT_EX("UriListParser:I/O error.");
  }
  return true;
}

void UriListParser::parseNext(std::vector<std::string>& uris, Option& op) {
  while (line_.empty() || line_[0] == '#') {
    if (!readLine()) {
      return;
    }
  }
  util::split(line_.begin(), line_.end(), std::back_inserter(uris), '\t', true);
  std::string options;
  while (true) {
    if (!readLine()) {
      line_.clear();
      break;
    }
    if (line_.empty() || line_[0] == '#') {
      continue;
    }
    if (line_[0] == ' ' || line_[0] == '\t') {
      options += line_;
      options += '\n';
      continue;
    }
    break;
  }
  std::istringstream in(options);
  OptionParser::getInstance()->parse(op, in);
}

bool UriListParser::hasNext() {
  // The end of the file shows only after a read; look ahead one line so that
  // an exhausted file says so at once.
  if (line_.empty() && *fp_ && !fp_->eof()) {
    readLine();
  }
  bool more = !line_.empty() || (*fp_ && !fp_->eof());
  if (!more) {
    fp_->close();
  }
  return more;
}

}  // namespace quarn
