#pragma once

#include <memory>
#include <string>
#include <vector>

namespace quarn {

class OutputFile;
class Option;
class RequestGroup;

namespace metalink {

// Lets the engine follow Metalink documents that downloads fetch. Call once
// at start-up, before any download is made.
void installDownloadHandlers();

// The downloads of the Metalink data given, or, when it is empty, of the
// document "metalink-file" names ("-" and "/dev/stdin" read standard input).
void createRequestGroupForMetalink(std::vector<std::shared_ptr<RequestGroup>>& groups,
                                   const std::shared_ptr<Option>& option,
                                   const std::string& metalinkData = "");

// The downloads of the Metalink document at the local path arg; false, with
// nothing made, when arg names no such document or local paths are ignored.
bool createRequestGroupForMetalinkFile(std::vector<std::shared_ptr<RequestGroup>>& groups,
                                       const std::shared_ptr<Option>& option,
                                       const std::string& arg, bool ignoreLocalPath);

// Lists the files of the document that match the option's filters.
void showFiles(const std::string& path, const Option& option, OutputFile& out);

}  // namespace metalink
}  // namespace quarn
