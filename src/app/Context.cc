#include "app/Context.h"

#include <sys/resource.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdlib>

#include "app/MultiUrlRequestInfo.h"
#include "app/protocols.h"
#include "bittorrent/bt_downloads.h"
#include "bittorrent/peer_identity.h"
#include "bittorrent/torrent_print.h"
#include "bittorrent/torrent_reader.h"
#include "config/Option.h"
#include "config/feature_config.h"
#include "config/option_processing.h"
#include "config/prefs.h"
#include "config/version.h"
#include "engine/DownloadSources.h"
#include "engine/ProtocolDetector.h"
#include "engine/RequestGroup.h"
#include "engine/UriListParser.h"
#include "engine/download_helper.h"
#include "foundation/DlAbortEx.h"
#include "foundation/LogFactory.h"
#include "foundation/Logger.h"
#include "foundation/RecoverableException.h"
#include "foundation/console.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_string.h"
#include "metalink/metalink_setup.h"
#include "net/SocketCore.h"
#include "net/net_address.h"
#include "storage/DownloadContext.h"

namespace quarn {

namespace {

void setUpLogging(const Option& op) {
  LogFactory::setLogFile(op.get(PREF_LOG));
  LogFactory::setLogLevel(op.get(PREF_LOG_LEVEL));
  LogFactory::setConsoleLogLevel(op.get(PREF_CONSOLE_LOG_LEVEL));
  LogFactory::setColorOutput(op.getAsBool(PREF_ENABLE_COLOR));
  if (op.getAsBool(PREF_QUIET)) {
    LogFactory::consoleOutput_ = false;
  }
  LogFactory::reconfigure();
}

void logBanner() {
  if (!LogFactory::getInstance()->levelEnabled(Logger::Q_INFO)) {
    return;
  }
  QLOG_INFO("<<--- --- --- ---");
  QLOG_INFO("  --- --- --- ---");
  QLOG_INFO("  --- --- --- --->>");
  QLOG_INFO(fmt("%s %s", PACKAGE_NAME, PACKAGE_VERSION));
  QLOG_INFO(usedCompilerAndPlatform());
  QLOG_INFO(getOperatingSystemInfo());
  QLOG_INFO(usedLibs());
  QLOG_INFO(_("Logging started."));
}

void raiseOpenFileLimit(const Option& op) {
  struct rlimit r;
  if (getrlimit(RLIMIT_NOFILE, &r) != 0 || r.rlim_cur == RLIM_INFINITY) {
    return;
  }
  const auto wanted = static_cast<uint64_t>(static_cast<int64_t>(op.getAsInt(PREF_RLIMIT_NOFILE)));
  const auto current = static_cast<uint64_t>(r.rlim_cur);
  uint64_t newLimit = std::max(current, wanted);
  if (r.rlim_max != RLIM_INFINITY) {
    newLimit = std::min(newLimit, static_cast<uint64_t>(r.rlim_max));
  }
  if (newLimit == current) {
    QLOG_DEBUG(fmt("Not setting rlimit NO_FILE: %llu >= %llu",
                   static_cast<unsigned long long>(current),
                   static_cast<unsigned long long>(wanted)));
    return;
  }
  r.rlim_cur = static_cast<rlim_t>(newLimit);
  if (setrlimit(RLIMIT_NOFILE, &r) == 0) {
    QLOG_DEBUG(fmt("Set rlimit NO_FILE from %llu to %llu", static_cast<unsigned long long>(current),
                   static_cast<unsigned long long>(newLimit)));
  } else {
    int err = errno;
    QLOG_WARN(fmt("Failed to set rlimit NO_FILE from %llu to %llu: %s",
                  static_cast<unsigned long long>(current),
                  static_cast<unsigned long long>(newLimit), util::safeStrerror(err).c_str()));
  }
}

void setUpSockets(const Option& op) {
  if (op.getAsBool(PREF_DISABLE_IPV6)) {
    SocketCore::protocolFamily_ = AF_INET;
  }
  SocketCore::ipDscp_ = op.getAsInt(PREF_DSCP) << 2;
  SocketCore::setSocketRecvBufferSize(op.getAsInt(PREF_SOCKET_RECV_BUFFER_SIZE));
  net::checkAddrconfig();
  if (!net::getIPv4AddrConfigured() && !net::getIPv6AddrConfigured()) {
    setDefaultAIFlags(0);
  }
  if (!op.get(PREF_INTERFACE).empty()) {
    SocketCore::bindAddress(op.get(PREF_INTERFACE));
  } else if (!op.get(PREF_MULTIPLE_INTERFACE).empty()) {
    SocketCore::bindAllAddress(op.get(PREF_MULTIPLE_INTERFACE));
  }
}

// Options that only the downloads made at start-up may see.
void removeOneshotOptions(Option& op) {
  for (const Pref* pref : {PREF_OUT, PREF_FORCE_SEQUENTIAL, PREF_INPUT_FILE, PREF_INDEX_OUT,
                           PREF_SELECT_FILE, PREF_PAUSE, PREF_CHECKSUM, PREF_GID}) {
    op.remove(pref);
  }
}

// The description of a torrent file; the global options play no part.
void showTorrentFile(const std::string& path) {
  auto dctx = std::make_shared<DownloadContext>();
  bittorrent::load(path, dctx, std::make_shared<Option>());
  bittorrent::print(*global::cout(), *dctx);
}

void showFiles(const std::vector<std::string>& args, const Option& op) {
  ProtocolDetector detector;
  for (const auto& arg : args) {
    global::cout()->printf(">>> %s\n",
                           fmt(_("Printing the contents of file '%s'..."), arg.c_str()).c_str());
    try {
      if (detector.guessTorrentFile(arg)) {
        showTorrentFile(arg);
      } else if (detector.guessMetalinkFile(arg)) {
        metalink::showFiles(arg, op, *global::cout());
      } else {
        global::cout()->printf("%s\n\n",
                               _("This file is neither Torrent nor Metalink file. Skipping."));
      }
    } catch (RecoverableException& e) {
      global::cout()->printf("%s\n", e.stackTrace().c_str());
    }
  }
}

}  // namespace

bool Context::showFilesRequested() const {
  if (option_->get(PREF_SHOW_FILES) != QN_V_TRUE) {
    return false;
  }
  // The first source of downloads decides; an input list is never shown.
  return !option_->blank(PREF_TORRENT_FILE) || !option_->blank(PREF_METALINK_FILE) ||
         option_->blank(PREF_INPUT_FILE);
}

void Context::createInitialDownloads() {
  if (!option_->blank(PREF_TORRENT_FILE)) {
    bittorrent::createRequestGroupForBitTorrent(requestGroups_, option_, args_,
                                                option_->get(PREF_TORRENT_FILE));
  } else if (!option_->blank(PREF_METALINK_FILE)) {
    metalink::createRequestGroupForMetalink(requestGroups_, option_);
  } else if (!option_->blank(PREF_INPUT_FILE)) {
    if (option_->getAsBool(PREF_DEFERRED_INPUT)) {
      uriListParser_ = openUriListParser(option_->get(PREF_INPUT_FILE));
    } else {
      createRequestGroupForUriList(requestGroups_, option_, sources_.get());
    }
  } else {
    createRequestGroupForUri(requestGroups_, option_, args_, false, false, true, sources_.get());
  }
}

Context::Context(bool standalone, int argc, char** argv,
                 const std::vector<std::pair<std::string, std::string>>& options)
    : option_(std::make_shared<Option>()), sources_(makeDownloadSources()) {
  int rv = option_processing(*option_, standalone, args_, argc, argv, options);
  if (rv != 0) {
    if (standalone) {
      std::exit(rv);
    }
    throw DL_ABORT_EX("Option processing failed");
  }
  bittorrent::generateStaticPeerId(option_->get(PREF_PEER_ID_PREFIX));
  bittorrent::generateStaticPeerAgent(option_->get(PREF_PEER_AGENT));
  setUpLogging(*option_);
  logBanner();
  raiseOpenFileLimit(*option_);
  setUpSockets(*option_);
  if (showFilesRequested()) {
    if (!option_->blank(PREF_TORRENT_FILE)) {
      showTorrentFile(option_->get(PREF_TORRENT_FILE));
    } else if (!option_->blank(PREF_METALINK_FILE)) {
      metalink::showFiles(option_->get(PREF_METALINK_FILE), *option_, *global::cout());
    } else {
      showFiles(args_, *option_);
    }
    return;
  }
  createInitialDownloads();
  removeOneshotOptions(*option_);
  if (standalone && !option_->getAsBool(PREF_ENABLE_RPC) && requestGroups_.empty() &&
      !uriListParser_) {
    global::cout()->printf("%s\n", _("No files to download."));
    return;
  }
  if (!requestGroups_.empty()) {
    QLOG_NOTICE(fmt("Downloading %lld item(s)", static_cast<long long>(requestGroups_.size())));
  }
  reqinfo_ = std::make_shared<MultiUrlRequestInfo>(std::move(requestGroups_), option_,
                                                   std::move(uriListParser_));
  reqinfo_->setDownloadSources(sources_);
}

Context::~Context() = default;

}  // namespace quarn
