#include "app/MultiUrlRequestInfo.h"

#include <sys/stat.h>

#include "app/protocols.h"
#include "client/auth/AuthConfigFactory.h"
#include "client/auth/Netrc.h"
#include "client/cookie/CookieStorage.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/ConsoleStatCalc.h"
#include "engine/DownloadEngine.h"
#include "engine/DownloadEngineFactory.h"
#include "engine/Notifier.h"
#include "engine/NullStatCalc.h"
#include "engine/RequestGroup.h"
#include "engine/RequestGroupMan.h"
#include "engine/SessionSerializer.h"
#include "engine/global_halt.h"
#include "foundation/DlAbortEx.h"
#include "foundation/File.h"
#include "foundation/LogMacros.h"
#include "foundation/OutputFile.h"
#include "foundation/RecoverableException.h"
#include "foundation/Time.h"
#include "foundation/console.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_process.h"
#include "net/AsyncNameResolver.h"
#include "net/SocketCore.h"
#include "net/TLSContext.h"
#include "net/util_net.h"
#include "rpc/control_server.h"
#include "storage/NetStat.h"

namespace quarn {

namespace {

void haltSignalHandler(int sig) {
  global::recordHaltSignal(sig);
}

}  // namespace

MultiUrlRequestInfo::MultiUrlRequestInfo(std::vector<std::shared_ptr<RequestGroup>> requestGroups,
                                         const std::shared_ptr<Option>& op,
                                         const std::shared_ptr<UriListParser>& uriListParser)
    : requestGroups_(std::move(requestGroups)),
      option_(op),
      uriListParser_(uriListParser),
      useSignalHandlers_(true) {
  sigemptyset(&mask_);
}

MultiUrlRequestInfo::~MultiUrlRequestInfo() {
  e_.reset();
}

void MultiUrlRequestInfo::setupSignalHandlers() {
  sigemptyset(&mask_);
  util::setGlobalSignalHandler(SIGPIPE, &mask_, SIG_IGN, 0);
  util::setGlobalSignalHandler(SIGCHLD, &mask_, SIG_IGN, 0);
  sigaddset(&mask_, SIGHUP);
  sigaddset(&mask_, SIGINT);
  sigaddset(&mask_, SIGTERM);
  util::setGlobalSignalHandler(SIGHUP, &mask_, haltSignalHandler, 0);
  util::setGlobalSignalHandler(SIGINT, &mask_, haltSignalHandler, 0);
  util::setGlobalSignalHandler(SIGTERM, &mask_, haltSignalHandler, 0);
}

void MultiUrlRequestInfo::resetSignalHandlers() {
  sigemptyset(&mask_);
  util::setGlobalSignalHandler(SIGHUP, &mask_, SIG_DFL, 0);
  util::setGlobalSignalHandler(SIGINT, &mask_, SIG_DFL, 0);
  util::setGlobalSignalHandler(SIGTERM, &mask_, SIG_DFL, 0);
  util::setGlobalSignalHandler(SIGCHLD, &mask_, SIG_DFL, 0);
  util::setGlobalSignalHandler(SIGPIPE, &mask_, SIG_DFL, 0);
}

void MultiUrlRequestInfo::printMessageForContinue() {
  if (option_->getAsBool(PREF_QUIET)) {
    return;
  }
  global::cout()->printf(
      "\n%s\n%s\n", _("quarn will resume download if the transfer is restarted."),
      _("If there are any errors, then see the log file. See '-l' option in help/man page for "
        "details."));
}

namespace {

void setUpServerTLSContext(const Option& op) {
  if (op.blank(PREF_RPC_CERTIFICATE)) {
    throw DL_ABORT_EX(
        "Specify --rpc-certificate and --rpc-private-key options in order to use secure RPC.");
  }
  std::shared_ptr<TLSContext> tlsContext =
      TLSContext::make(TLS_SERVER, util::toTLSVersion(op.get(PREF_MIN_TLS_VERSION)));
  if (!tlsContext->addCredentialFile(op.get(PREF_RPC_CERTIFICATE), op.get(PREF_RPC_PRIVATE_KEY))) {
    throw DL_ABORT_EX("Loading private key and/or certificate for secure RPC failed.");
  }
  SocketCore::setServerTLSContext(tlsContext);
}

void loadCookies(const Option& op, CookieStorage* cookieStorage) {
  if (op.blank(PREF_LOAD_COOKIES)) {
    return;
  }
  const std::string& path = op.get(PREF_LOAD_COOKIES);
  if (File(path).isFile() && cookieStorage->load(path, Time().getTimeFromEpoch())) {
    QLOG_INFO(fmt("Loaded cookies from '%s'.", path.c_str()));
  } else {
    QLOG_ERROR(fmt(_("Failed to load cookies from %s"), path.c_str()));
  }
}

std::unique_ptr<AuthConfigFactory> createAuthConfigFactory(const Option& op) {
  auto authConfigFactory = std::make_unique<AuthConfigFactory>();
  const std::string& netrcPath = op.get(PREF_NETRC_PATH);
  File netrcFile(netrcPath);
  if (!op.getAsBool(PREF_NO_NETRC) && netrcFile.isFile()) {
    if (netrcFile.mode() & (S_IRWXG | S_IRWXO)) {
      QLOG_NOTICE(fmt(_(".netrc file %s does not have correct permissions. It should be 600. "
                        "netrc support disabled."),
                      netrcPath.c_str()));
    } else {
      auto netrc = std::make_unique<Netrc>();
      netrc->parse(netrcPath);
      authConfigFactory->setNetrc(std::move(netrc));
    }
  }
  return authConfigFactory;
}

// The settings the client TLS context is made from, taken at start-up so that
// the context made later, at the first TLS connection, is the one these
// options described.
struct ClientTLSSettings {
  TLSVersion minVersion;
  std::string certificate;
  std::string privateKey;
  std::string caCertificate;
  bool checkCertificate;
};

std::shared_ptr<TLSContext> makeClientTLSContext(const ClientTLSSettings& s) {
  std::shared_ptr<TLSContext> tlsContext = TLSContext::make(TLS_CLIENT, s.minVersion);
  if (!s.certificate.empty()) {
    tlsContext->addCredentialFile(s.certificate, s.privateKey);
  }
  bool trusted = true;
  if (s.caCertificate.empty()) {
    if (s.checkCertificate) {
      trusted = tlsContext->addSystemTrustedCACerts();
    }
  } else {
    trusted = tlsContext->addTrustedCACertFile(s.caCertificate);
  }
  if (!trusted) {
    QLOG_INFO(
        _("You may encounter the certificate verification error with HTTPS server. See "
          "--ca-certificate and --check-certificate option."));
  }
  tlsContext->setVerifyPeer(s.checkCertificate);
  return tlsContext;
}

void setUpClientTLSContext(const Option& op) {
  ClientTLSSettings settings{util::toTLSVersion(op.get(PREF_MIN_TLS_VERSION)),
                             op.get(PREF_CERTIFICATE), op.get(PREF_PRIVATE_KEY),
                             op.get(PREF_CA_CERTIFICATE), op.getAsBool(PREF_CHECK_CERTIFICATE)};
  SocketCore::setClientTLSContextFactory(
      [settings = std::move(settings)] { return makeClientTLSContext(settings); });
}

std::unique_ptr<StatCalc> createStatCalc(const Option& op) {
  if (op.getAsBool(PREF_QUIET)) {
    return std::make_unique<NullStatCalc>();
  }
  auto statCalc = std::make_unique<ConsoleStatCalc>(
      std::chrono::seconds(op.getAsInt(PREF_SUMMARY_INTERVAL)), op.getAsBool(PREF_ENABLE_COLOR),
      op.getAsBool(PREF_HUMAN_READABLE));
  statCalc->setReadoutVisibility(op.getAsBool(PREF_SHOW_CONSOLE_READOUT));
  statCalc->setTruncate(op.getAsBool(PREF_TRUNCATE_CONSOLE_READOUT));
  return statCalc;
}

}  // namespace

int MultiUrlRequestInfo::prepare() {
  global::globalHaltRequested = global::HALT_NONE;
  try {
    Notifier::setInstance(std::make_unique<Notifier>());
    if (option_->getAsBool(PREF_ENABLE_RPC) && option_->getAsBool(PREF_RPC_SECURE)) {
      setUpServerTLSContext(*option_);
    }
    e_ = DownloadEngineFactory().newDownloadEngine(option_.get(), std::move(requestGroups_));
    requestGroups_.clear();
    installProtocols(*e_);
    rpc::setupControlServer(e_.get(), Notifier::getInstance());
    loadCookies(*option_, cookieStorage(e_.get()));
    e_->setService(createAuthConfigFactory(*option_));
    setUpClientTLSContext(*option_);
    e_->setAsyncDNSServers(parseAsyncDNSServers(option_->get(PREF_ASYNC_DNS_SERVER)));
    if (!option_->get(PREF_SERVER_STAT_IF).empty()) {
      e_->getRequestGroupMan()->loadServerStat(option_->get(PREF_SERVER_STAT_IF));
      e_->getRequestGroupMan()->removeStaleServerStat(option_->getAsInt(PREF_SERVER_STAT_TIMEOUT));
    }
    e_->setStatCalc(createStatCalc(*option_));
    e_->getRequestGroupMan()->setDownloadSources(downloadSources_);
    if (uriListParser_) {
      e_->getRequestGroupMan()->setUriListParser(uriListParser_);
    }
    if (useSignalHandlers_) {
      setupSignalHandlers();
    }
    e_->getRequestGroupMan()->getNetStat().downloadStart();
  } catch (RecoverableException& ex) {
    QLOG_ERROR_EX(_("Exception caught"), ex);
    Notifier::setInstance(nullptr);
    if (useSignalHandlers_) {
      resetSignalHandlers();
    }
    return -1;
  }
  return 0;
}

int MultiUrlRequestInfo::execute() {
  if (prepare() != 0) {
    return 1;
  }
  try {
    e_->run();
  } catch (RecoverableException& ex) {
    QLOG_ERROR_EX(_("Exception caught"), ex);
  }
  int status = getResult();
  if (useSignalHandlers_) {
    resetSignalHandlers();
  }
  return status;
}

int MultiUrlRequestInfo::getResult() {
  if (!option_->blank(PREF_SAVE_COOKIES)) {
    cookieStorage(e_.get())->saveNsFormat(option_->get(PREF_SAVE_COOKIES));
  }
  RequestGroupMan* rgman = e_->getRequestGroupMan();
  if (!option_->get(PREF_SERVER_STAT_OF).empty()) {
    rgman->saveServerStat(option_->get(PREF_SERVER_STAT_OF));
  }
  const std::string& downloadResult = option_->get(PREF_DOWNLOAD_RESULT);
  if (!option_->getAsBool(PREF_QUIET) && downloadResult != QN_V_HIDE) {
    rgman->showDownloadResults(*global::cout(), downloadResult == QN_V_FULL);
    global::cout()->flush();
  }
  DownloadStat stat = rgman->getDownloadStat();
  int status = 0;
  if (!stat.allCompleted()) {
    printMessageForContinue();
    if (stat.inProgressCount > 0 && stat.lastErrorResult == error_code::FINISHED) {
      status = error_code::IN_PROGRESS;
    } else {
      status = stat.lastErrorResult;
    }
  }
  if (!option_->blank(PREF_SAVE_SESSION)) {
    const std::string& filename = option_->get(PREF_SAVE_SESSION);
    if (SessionSerializer(rgman).save(filename)) {
      QLOG_NOTICE(fmt(_("Serialized session to '%s' successfully."), filename.c_str()));
    } else {
      QLOG_NOTICE(fmt(_("Failed to serialize session to '%s'."), filename.c_str()));
    }
  }
  Notifier::setInstance(nullptr);
  return status;
}

}  // namespace quarn
