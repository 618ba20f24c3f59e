#include "metalink/metalink_setup.h"

#include "config/Option.h"
#include "config/prefs.h"
#include "engine/ProtocolDetector.h"
#include "engine/download_handlers.h"
#include "foundation/OutputFile.h"
#include "foundation/util_number.h"
#include "metalink/Metalink2RequestGroup.h"
#include "metalink/MetalinkEntry.h"
#include "metalink/MetalinkPostDownloadHandler.h"
#include "metalink/metalink_helper.h"
#include "storage/ByteArrayDiskWriter.h"
#include "storage/FileEntry.h"

namespace quarn {
namespace metalink {

void installDownloadHandlers() {
  static const MetalinkPostDownloadHandler handler;
  download_handlers::setMetalinkPostDownloadHandler(&handler);
}

void createRequestGroupForMetalink(std::vector<std::shared_ptr<RequestGroup>>& groups,
                                   const std::shared_ptr<Option>& option,
                                   const std::string& metalinkData) {
  const std::string& baseUri = option->get(PREF_METALINK_BASE_URI);
  if (metalinkData.empty()) {
    Metalink2RequestGroup().generate(groups, option->get(PREF_METALINK_FILE), option, baseUri);
    return;
  }
  ByteArrayDiskWriter data;
  data.setString(metalinkData);
  Metalink2RequestGroup().generate(groups, &data, option, baseUri);
}

bool createRequestGroupForMetalinkFile(std::vector<std::shared_ptr<RequestGroup>>& groups,
                                       const std::shared_ptr<Option>& option,
                                       const std::string& arg, bool ignoreLocalPath) {
  if (ignoreLocalPath || !ProtocolDetector().guessMetalinkFile(arg)) {
    return false;
  }
  Metalink2RequestGroup().generate(groups, arg, option, option->get(PREF_METALINK_BASE_URI));
  return true;
}

void showFiles(const std::string& path, const Option& option, OutputFile& out) {
  auto files =
      MetalinkEntry::toFileEntry(parseAndQuery(path, &option, option.get(PREF_METALINK_BASE_URI)));
  util::toStream(files.begin(), files.end(), out);
  out.write("\n");
  out.flush();
}

}  // namespace metalink
}  // namespace quarn
