#include "engine/ContentTypeRequestGroupCriteria.h"

#include "engine/RequestGroup.h"
#include "foundation/util_string.h"
#include "storage/DownloadContext.h"

namespace quarn {

ContentTypeRequestGroupCriteria::ContentTypeRequestGroupCriteria(const char** contentTypes,
                                                                 const char** extensions)
    : contentTypes_(contentTypes), extensions_(extensions) {}

bool ContentTypeRequestGroupCriteria::match(const RequestGroup* requestGroup) const {
  const auto& dctx = requestGroup->getDownloadContext();
  if (dctx->getFileEntries().size() != 1) {
    return false;
  }
  const std::string path = requestGroup->getFirstFilePath();
  for (const char** ext = extensions_; *ext; ++ext) {
    if (util::iendsWith(path, *ext)) {
      return true;
    }
  }
  const std::string& contentType = dctx->getFirstFileEntry()->getContentType();
  for (const char** type = contentTypes_; *type; ++type) {
    if (util::strieq(contentType, *type)) {
      return true;
    }
  }
  return false;
}

}  // namespace quarn
