#include "engine/download_helper.h"

#include <algorithm>
#include <iterator>
#include <sstream>

#include "config/Option.h"
#include "config/OptionHandler.h"
#include "config/OptionParser.h"
#include "config/prefs.h"
#include "engine/DownloadSources.h"
#include "engine/GroupId.h"
#include "engine/MetadataInfo.h"
#include "engine/RequestGroup.h"
#include "engine/UriListParser.h"
#include "foundation/DlAbortEx.h"
#include "foundation/File.h"
#include "foundation/LogMacros.h"
#include "foundation/RecoverableException.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/paramed_string.h"
#include "foundation/uri_split.h"
#include "foundation/util_path.h"
#include "foundation/util_string.h"
#include "storage/DownloadContext.h"

namespace quarn {

std::shared_ptr<GroupId> getGID(const std::shared_ptr<Option>& option) {
  if (!option->defined(PREF_GID)) {
    return GroupId::create();
  }
  const std::string& text = option->get(PREF_GID);
  GroupId::gid_t n;
  if (GroupId::toNumericId(n, text) != 0) {
    throw DL_ABORT_EX(fmt("%s is invalid for GID.", text.c_str()));
  }
  auto gid = GroupId::import(n);
  if (!gid) {
    throw DL_ABORT_EX(fmt("GID %s is not unique.", text.c_str()));
  }
  return gid;
}

void finishRequestGroup(const std::shared_ptr<RequestGroup>& group,
                        const std::shared_ptr<DownloadContext>& dctx) {
  group->setDownloadContext(dctx);
  const auto& option = group->getOption();
  if (option->getAsBool(PREF_ENABLE_RPC)) {
    group->setPauseRequested(option->getAsBool(PREF_PAUSE));
  }
  removeOneshotOption(option);
}

namespace {

std::shared_ptr<RequestGroup> createRequestGroup(const std::shared_ptr<Option>& optionTemplate,
                                                 const std::vector<std::string>& uris,
                                                 bool useOutOption = false) {
  auto option = std::make_shared<Option>(*optionTemplate);
  auto group = std::make_shared<RequestGroup>(getGID(option), option);
  std::string path;
  if (useOutOption && !option->blank(PREF_OUT)) {
    path = util::applyDir(option->get(PREF_DIR), option->get(PREF_OUT));
  }
  auto dctx = std::make_shared<DownloadContext>(option->getAsInt(PREF_PIECE_LENGTH), 0, path);
  const auto& entry = dctx->getFirstFileEntry();
  entry->setUris(uris);
  entry->setMaxConnectionPerServer(option->getAsInt(PREF_MAX_CONNECTION_PER_SERVER));
  const std::string& checksum = option->get(PREF_CHECKSUM);
  if (!checksum.empty()) {
    auto p = util::divide(checksum.begin(), checksum.end(), '=');
    std::string hashType(p.first.first, p.first.second);
    util::lowercase(hashType);
    dctx->setDigest(hashType, util::fromHex(p.second.first, p.second.second));
  }
  finishRequestGroup(group, dctx);
  return group;
}

bool isStreamProtocol(const std::string& uri) {
  return uri_split(nullptr, uri.c_str()) == 0;
}

// The list of URIs that spreads n stream URIs over "split" connections.
std::vector<std::string> spreadStreamUris(std::vector<std::string>::const_iterator first,
                                          std::vector<std::string>::const_iterator last,
                                          const Option& option) {
  const auto n = static_cast<size_t>(std::distance(first, last));
  const auto split = static_cast<size_t>(std::max(0, option.getAsInt(PREF_SPLIT)));
  const auto maxConn =
      static_cast<size_t>(std::max(0, option.getAsInt(PREF_MAX_CONNECTION_PER_SERVER)));
  std::vector<std::string> out;
  if (n >= split) {
    out.assign(first, last);
    return out;
  }
  const size_t perUri = split / n;
  const size_t k = std::min(perUri, maxConn);
  for (size_t i = 0; i < k; ++i) {
    out.insert(out.end(), first, last);
  }
  if (perUri < maxConn) {
    out.insert(out.end(), first, first + static_cast<std::ptrdiff_t>(split % n));
  }
  return out;
}

// Makes the downloads of one non-spread argument.
class AccRequestGroup {
 public:
  AccRequestGroup(std::vector<std::shared_ptr<RequestGroup>>& result,
                  std::shared_ptr<Option> option, bool ignoreLocalPath, bool throwOnError,
                  const DownloadSources* sources)
      : result_(result),
        option_(std::move(option)),
        ignoreLocalPath_(ignoreLocalPath),
        throwOnError_(throwOnError),
        sources_(sources) {}

  void operator()(const std::string& uri) {
    if (isStreamProtocol(uri)) {
      const auto copies =
          std::min(static_cast<uint32_t>(option_->getAsInt(PREF_SPLIT)),
                   static_cast<uint32_t>(option_->getAsInt(PREF_MAX_CONNECTION_PER_SERVER)));
      std::vector<std::string> uris(copies, uri);
      auto group = createRequestGroup(option_, uris);
      group->setMaxConcurrentCommands(option_->getAsInt(PREF_SPLIT));
      result_.push_back(group);
      return;
    }
    // Magnet links, torrent files and Metalink documents.
    if (sources_ && makeFromSources(uri)) {
      return;
    }
    if (throwOnError_) {
      throw DL_ABORT_EX(fmt(_("Unrecognized URI or unsupported protocol: %s"), uri.c_str()));
    }
    QLOG_ERROR(fmt(_("Unrecognized URI or unsupported protocol: %s"), uri.c_str()));
  }

 private:
  bool makeFromSources(const std::string& arg) {
    if (throwOnError_) {
      return sources_->make(result_, option_, arg, ignoreLocalPath_);
    }
    try {
      return sources_->make(result_, option_, arg, ignoreLocalPath_);
    } catch (RecoverableException& e) {
      // The argument was recognised but is unusable; the others go on.
      QLOG_ERROR_EX(_("Exception caught"), e);
      return true;
    }
  }

  std::vector<std::shared_ptr<RequestGroup>>& result_;
  std::shared_ptr<Option> option_;
  bool ignoreLocalPath_;
  bool throwOnError_;
  const DownloadSources* sources_;
};

}  // namespace

std::vector<std::string> unfoldURI(const std::vector<std::string>& args) {
  std::vector<std::string> out;
  for (const auto& arg : args) {
    paramed_string::expand(arg.begin(), arg.end(), out);
  }
  return out;
}

void removeOneshotOption(const std::shared_ptr<Option>& option) {
  option->remove(PREF_PAUSE);
  option->remove(PREF_GID);
}

void createRequestGroupForUri(std::vector<std::shared_ptr<RequestGroup>>& result,
                              const std::shared_ptr<Option>& option,
                              const std::vector<std::string>& uris, bool ignoreForceSequential,
                              bool ignoreLocalPath, bool throwOnError,
                              const DownloadSources* sources) {
  std::vector<std::string> nargs =
      option->get(PREF_PARAMETERIZED_URI) == QN_V_TRUE ? unfoldURI(uris) : uris;
  AccRequestGroup acc(result, option, ignoreLocalPath, throwOnError, sources);
  if (!ignoreForceSequential && option->get(PREF_FORCE_SEQUENTIAL) == QN_V_TRUE) {
    for (const auto& arg : nargs) {
      acc(arg);
    }
    return;
  }
  auto strmProtoEnd = std::stable_partition(nargs.begin(), nargs.end(), isStreamProtocol);
  if (strmProtoEnd != nargs.begin()) {
    try {
      auto group =
          createRequestGroup(option, spreadStreamUris(nargs.cbegin(), strmProtoEnd, *option), true);
      group->setMaxConcurrentCommands(option->getAsInt(PREF_SPLIT));
      result.push_back(group);
    } catch (RecoverableException& e) {
      if (throwOnError) {
        throw;
      }
      QLOG_ERROR_EX(_("Exception caught"), e);
    }
  }
  for (auto it = strmProtoEnd; it != nargs.end(); ++it) {
    acc(*it);
  }
}

bool createRequestGroupFromUriListParser(std::vector<std::shared_ptr<RequestGroup>>& result,
                                         const Option* option, UriListParser* uriListParser,
                                         const DownloadSources* sources) {
  const size_t before = result.size();
  const auto& parser = OptionParser::getInstance();
  while (uriListParser->hasNext()) {
    std::vector<std::string> uris;
    Option entryOption;
    uriListParser->parseNext(uris, entryOption);
    if (uris.empty()) {
      continue;
    }
    auto requestOption = std::make_shared<Option>(*option);
    requestOption->remove(PREF_OUT);
    for (size_t i = 1, len = option::countOption(); i < len; ++i) {
      const Pref* pref = option::i2p(i);
      const OptionHandler* h = parser->find(pref);
      if (h && h->getInitialOption() && entryOption.defined(pref)) {
        requestOption->put(pref, entryOption.get(pref));
      }
    }
    createRequestGroupForUri(result, requestOption, uris, false, false, false, sources);
    if (result.size() > before) {
      return true;
    }
  }
  return false;
}

std::shared_ptr<UriListParser> openUriListParser(const std::string& filename) {
  File f(filename);
  if (!f.exists() || f.isDir()) {
    throw DL_ABORT_EX(fmt(_("Failed to open the file %s, cause: %s"), filename.c_str(),
                          "File not found or it is a directory"));
  }
  return std::make_shared<UriListParser>(filename);
}

void createRequestGroupForUriList(std::vector<std::shared_ptr<RequestGroup>>& result,
                                  const std::shared_ptr<Option>& option,
                                  const DownloadSources* sources) {
  auto uriListParser = openUriListParser(option->get(PREF_INPUT_FILE));
  while (createRequestGroupFromUriListParser(result, option.get(), uriListParser.get(), sources)) {
  }
}

std::shared_ptr<MetadataInfo> createMetadataInfoFromFirstFileEntry(
    const std::shared_ptr<GroupId>& gid, const std::shared_ptr<DownloadContext>& dctx) {
  if (dctx->getFileEntries().empty()) {
    return nullptr;
  }
  auto uris = dctx->getFirstFileEntry()->getUris();
  if (uris.empty()) {
    return nullptr;
  }
  return std::make_shared<MetadataInfo>(gid, uris.front());
}

}  // namespace quarn
