#include "engine/option_change.h"

#include <sstream>

#include "config/Option.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "foundation/LogFactory.h"
#include "foundation/RecoverableException.h"
#include "foundation/util_path.h"
#include "foundation/util_range.h"
#include "foundation/util_string.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"
#include "storage/OpenedFileCounter.h"

namespace quarn {

namespace {

void applyChecksum(DownloadContext& dctx, const std::string& value) {
  auto eq = value.find('=');
  std::string type = util::toLower(util::strip(value.substr(0, eq)));
  std::string hex = eq == std::string::npos ? "" : util::strip(value.substr(eq + 1));
  dctx.setDigest(type, util::fromHex(hex.begin(), hex.end()));
}

void applyPaths(RequestGroup& group, const Option& grOption) {
  const auto& dctx = group.getDownloadContext();
  const std::string& dir = grOption.get(PREF_DIR);
  if (!group.getMetadataInfo()) {
    if (dctx->getFileEntries().empty()) {
      return;
    }
    const auto& fe = dctx->getFirstFileEntry();
    if (grOption.blank(PREF_OUT)) {
      fe->setPath(fe->getSuffixPath().empty() ? "" : util::applyDir(dir, fe->getSuffixPath()));
    } else {
      fe->setPath(util::applyDir(dir, grOption.get(PREF_OUT)));
      fe->setSuffixPath("");
    }
  } else if (!dctx->hasAttribute(CTX_ATTR_BT)) {
    for (const auto& fe : dctx->getFileEntries()) {
      fe->setPath(util::applyDir(dir, fe->getSuffixPath()));
    }
  }
}

void applyIndexOut(RequestGroup& group, const Option& grOption) {
  const auto& dctx = group.getDownloadContext();
  if (!dctx->hasAttribute(CTX_ATTR_BT)) {
    return;
  }
  std::istringstream in(grOption.get(PREF_INDEX_OUT));
  for (const auto& [index, path] : util::createIndexPaths(in)) {
    dctx->setFilePathWithIndex(index, util::applyDir(grOption.get(PREF_DIR), path));
  }
}

}  // namespace

void changeOption(const std::shared_ptr<RequestGroup>& group, const Option& option,
                  DownloadEngine* /*e*/) {
  const auto& dctx = group->getDownloadContext();
  const auto& grOption = group->getOption();
  grOption->merge(option);
  if (option.defined(PREF_CHECKSUM)) {
    applyChecksum(*dctx, grOption->get(PREF_CHECKSUM));
  }
  if (option.defined(PREF_SELECT_FILE)) {
    auto sgl = util::parseIntSegments(grOption->get(PREF_SELECT_FILE));
    sgl.normalize();
    dctx->setFileFilter(std::move(sgl));
  }
  if (option.defined(PREF_SPLIT)) {
    group->setMaxConcurrentCommands(grOption->getAsInt(PREF_SPLIT));
  }
  if (option.defined(PREF_MAX_CONNECTION_PER_SERVER)) {
    int n = grOption->getAsInt(PREF_MAX_CONNECTION_PER_SERVER);
    for (const auto& fe : dctx->getFileEntries()) {
      fe->setMaxConnectionPerServer(n);
    }
  }
  if (option.defined(PREF_DIR) || option.defined(PREF_OUT)) {
    applyPaths(*group, *grOption);
  }
  if (option.defined(PREF_DIR) || option.defined(PREF_INDEX_OUT)) {
    applyIndexOut(*group, *grOption);
  }
  if (option.defined(PREF_MAX_DOWNLOAD_LIMIT)) {
    group->setMaxDownloadSpeedLimit(grOption->getAsInt(PREF_MAX_DOWNLOAD_LIMIT));
  }
  if (option.defined(PREF_MAX_UPLOAD_LIMIT)) {
    group->setMaxUploadSpeedLimit(grOption->getAsInt(PREF_MAX_UPLOAD_LIMIT));
  }
}

void changeGlobalOption(const Option& option, DownloadEngine* e) {
  Option* global = e->getOption();
  RequestGroupMan* rgman = e->getRequestGroupMan();
  global->merge(option);
  if (option.defined(PREF_MAX_OVERALL_DOWNLOAD_LIMIT)) {
    rgman->setMaxOverallDownloadSpeedLimit(global->getAsInt(PREF_MAX_OVERALL_DOWNLOAD_LIMIT));
  }
  if (option.defined(PREF_MAX_OVERALL_UPLOAD_LIMIT)) {
    rgman->setMaxOverallUploadSpeedLimit(global->getAsInt(PREF_MAX_OVERALL_UPLOAD_LIMIT));
  }
  if (option.defined(PREF_MAX_CONCURRENT_DOWNLOADS)) {
    rgman->setMaxConcurrentDownloads(global->getAsInt(PREF_MAX_CONCURRENT_DOWNLOADS));
    rgman->requestQueueCheck();
  }
  if (option.defined(PREF_OPTIMIZE_CONCURRENT_DOWNLOADS)) {
    rgman->setupOptimizeConcurrentDownloads();
    rgman->requestQueueCheck();
  }
  if (option.defined(PREF_MAX_DOWNLOAD_RESULT)) {
    rgman->setMaxDownloadResult(global->getAsInt(PREF_MAX_DOWNLOAD_RESULT));
  }
  if (option.defined(PREF_LOG_LEVEL)) {
    LogFactory::setLogLevel(global->get(PREF_LOG_LEVEL));
  }
  if (option.defined(PREF_LOG)) {
    LogFactory::setLogFile(global->get(PREF_LOG));
    try {
      LogFactory::reconfigure();
    } catch (RecoverableException&) {
      // The old log stays in use.
    }
  }
  if (option.defined(PREF_BT_MAX_OPEN_FILES)) {
    if (const auto& counter = rgman->getOpenedFileCounter()) {
      counter->setMaxOpenFiles(global->getAsInt(PREF_BT_MAX_OPEN_FILES));
    }
  }
}

}  // namespace quarn
