#include "client/http/HttpResponseCommand.h"

#include "client/common/length_limit.h"

#include "client/common/socket_pool.h"
#include "client/http/HttpConnection.h"
#include "client/http/HttpDownloadCommand.h"
#include "client/http/HttpRequest.h"
#include "client/http/HttpResponse.h"
#include "client/http/HttpSkipResponseCommand.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "engine/CheckIntegrityEntry.h"
#include "engine/ChecksumCheckIntegrityEntry.h"
#include "engine/DownloadEngine.h"
#include "engine/GroupId.h"
#include "engine/RequestGroup.h"
#include "foundation/DlAbortEx.h"
#include "foundation/LogMacros.h"
#include "foundation/Time.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_chars.h"
#include "foundation/util_path.h"
#include "foundation/util_string.h"
#include "metalink/MetalinkHttpEntry.h"
#include "net/HttpHeader.h"
#include "net/SocketCore.h"
#include "storage/Checksum.h"
#include "storage/ChunkedDecodingStreamFilter.h"
#include "storage/DefaultBtProgressInfoFile.h"
#include "storage/DiskAdaptor.h"
#include "storage/DownloadContext.h"
#include "storage/FileEntry.h"
#include "storage/GZipDecodingStreamFilter.h"
#include "storage/NullProgressInfoFile.h"
#include "storage/PieceStorage.h"
#include "storage/Request.h"
#include "storage/Segment.h"
#include "storage/SegmentMan.h"
#include "storage/SequentialPicker.h"
#include "storage/StreamFilter.h"
#include "storage/URISelector.h"

namespace quarn {

namespace {

std::unique_ptr<StreamFilter> getTransferEncodingStreamFilter(
    HttpResponse* httpResponse, std::unique_ptr<StreamFilter> delegate = nullptr) {
  if (!httpResponse->isTransferEncodingSpecified()) {
    return delegate;
  }
  auto filter = httpResponse->getTransferEncodingStreamFilter();
  if (!filter) {
    throw DL_ABORT_EX(fmt(_("Transfer encoding %s is not supported."),
                          httpResponse->getTransferEncoding().c_str()));
  }
  filter->init();
  filter->installDelegate(std::move(delegate));
  return filter;
}

std::unique_ptr<StreamFilter> getContentEncodingStreamFilter(
    HttpResponse* httpResponse, std::unique_ptr<StreamFilter> delegate = nullptr) {
  if (!httpResponse->isContentEncodingSpecified()) {
    return delegate;
  }
  auto filter = httpResponse->getContentEncodingStreamFilter();
  if (!filter) {
    QLOG_INFO(
        fmt("Content-Encoding %s is specified, but the current implementation doesn't "
            "support it. The decoding process is skipped and the downloaded content will "
            "be still encoded.",
            httpResponse->getContentEncoding().c_str()));
    return delegate;
  }
  filter->init();
  filter->installDelegate(std::move(delegate));
  return filter;
}

bool chainHasFilter(const StreamFilter* filter, const std::string& name) {
  for (; filter; filter = filter->getDelegate()) {
    if (filter->getName() == name) {
      return true;
    }
  }
  return false;
}

}  // namespace

HttpResponseCommand::HttpResponseCommand(cuid_t cuid, std::shared_ptr<Request> req,
                                         std::shared_ptr<FileEntry> fileEntry,
                                         RequestGroup* requestGroup,
                                         std::shared_ptr<HttpConnection> httpConnection,
                                         DownloadEngine* e, std::shared_ptr<SocketCore> s)
    : AbstractCommand(cuid, std::move(req), std::move(fileEntry), requestGroup, e, std::move(s),
                      httpConnection->getSocketRecvBuffer()),
      httpConnection_(std::move(httpConnection)) {
  checkSocketRecvBuffer();
}

HttpResponseCommand::~HttpResponseCommand() = default;

bool HttpResponseCommand::checkChecksum(const std::shared_ptr<DownloadContext>& dctx,
                                        const Checksum& checksum) {
  if (dctx->getHashType() != checksum.getHashType()) {
    return false;
  }
  if (dctx->getDigest() != checksum.getDigest()) {
    throw DL_ABORT_EX("Invalid hash found in Digest header field.");
  }
  QLOG_INFO("Valid hash found in Digest header field.");
  return true;
}

void HttpResponseCommand::addMirrorsFromLinks(const HttpResponse& httpResponse) {
  getDownloadContext()->setAcceptMetalink(false);
  std::vector<MetalinkHttpEntry> entries;
  httpResponse.getMetalinKHttpEntries(entries, getOption());
  for (const auto& entry : entries) {
    getFileEntry()->addUri(entry.uri);
    QLOG_DEBUG(fmt("Adding URI=%s", entry.uri.c_str()));
  }
}

// The first digest sets the download's own when it has none; otherwise the
// announced ones must agree with it.
void HttpResponseCommand::takeDigest(const HttpResponse& httpResponse) {
  const auto& ctx = getDownloadContext();
  std::vector<Checksum> checksums;
  httpResponse.getDigest(checksums);
  for (const auto& checksum : checksums) {
    if (ctx->getHashType().empty()) {
      QLOG_DEBUG(fmt("Setting digest: type=%s, digest=%s", checksum.getHashType().c_str(),
                     util::toHex(checksum.getDigest()).c_str()));
      ctx->setDigest(checksum.getHashType(), checksum.getDigest());
      return;
    }
    if (checkChecksum(ctx, checksum)) {
      return;
    }
  }
}

void HttpResponseCommand::checkDigest(const HttpResponse& httpResponse) {
  std::vector<Checksum> checksums;
  httpResponse.getDigest(checksums);
  for (const auto& checksum : checksums) {
    if (checkChecksum(getDownloadContext(), checksum)) {
      return;
    }
  }
}

void HttpResponseCommand::queueChecksumCheck(bool openExistingFile) {
  auto entry = std::make_unique<ChecksumCheckIntegrityEntry>(getRequestGroup());
  entry->initValidator();
  if (openExistingFile) {
    getPieceStorage()->getDiskAdaptor()->openExistingFile();
  }
  getDownloadEngine()->getCheckIntegrityMan()->pushEntry(std::move(entry));
}

void HttpResponseCommand::poolConnection() {
  if (getRequest()->isPersistentConnection()) {
    poolRequestSocket(getDownloadEngine(), getRequest(), createProxyRequest(), getSocket());
  }
}

void HttpResponseCommand::setFilePathFromResponse(const HttpResponse& httpResponse) {
  std::string name =
      httpResponse.determineFilename(getOption()->getAsBool(PREF_CONTENT_DISPOSITION_DEFAULT_UTF8));
  std::string safe = util::createSafePath(name);
  getFileEntry()->setPath(util::applyDir(getOption()->get(PREF_DIR), safe));
  getFileEntry()->setSuffixPath(safe);
}

bool HttpResponseCommand::executeInternal() {
  auto httpResponse = httpConnection_->receiveResponse();
  if (!httpResponse) {
    setWriteCheckSocketIf(getSocket(), getSocket()->wantWrite());
    addCommandSelf();
    return false;
  }
  httpResponse->validateResponse();
  httpResponse->retrieveCookie();
  const auto& req = getRequest();
  const auto& ctx = getDownloadContext();
  const auto& fileEntry = getFileEntry();
  req->supportsPersistentConnection(httpResponse->supportsPersistentConnection());
  req->setMaxPipelinedRequest(
      req->isPipeliningEnabled() ? getOption()->getAsInt(PREF_MAX_HTTP_PIPELINING) : 1);
  int status = httpResponse->getStatusCode();
  if (status == 304) {
    checkAnnouncedLength(httpResponse->getEntityLength(), ctx->getPieceLength());
    fileEntry->setLength(httpResponse->getEntityLength());
    getRequestGroup()->initPieceStorage();
    getPieceStorage()->markAllPiecesDone();
    ctx->setChecksumVerified(true);
    if (fileEntry->getPath().empty()) {
      std::string name = req->getFile().empty()
                             ? Request::DEFAULT_FILE
                             : util::percentDecode(req->getFile().begin(), req->getFile().end());
      std::string safe = util::createSafePath(name);
      fileEntry->setPath(util::applyDir(getOption()->get(PREF_DIR), safe));
      fileEntry->setSuffixPath(safe);
    }
    QLOG_NOTICE(fmt(_("GID#%s - Download has already completed: %s"),
                    GroupId::toHex(getRequestGroup()->getGID()).c_str(),
                    getRequestGroup()->getFirstFilePath().c_str()));
    poolConnection();
    fileEntry->poolRequest(req);
    return true;
  }
  const auto& header = httpResponse->getHttpHeader();
  if (!getPieceStorage()) {
    if (ctx->getAcceptMetalink() && header->defined(HttpHeader::LINK)) {
      addMirrorsFromLinks(*httpResponse);
    }
    if (header->defined(HttpHeader::DIGEST)) {
      takeDigest(*httpResponse);
    }
  }
  if (status >= 300) {
    if (status == 404) {
      getRequestGroup()->increaseAndValidateFileNotFoundCount();
    }
    return skipResponseBody(std::move(httpResponse));
  }
  if (fileEntry->isUniqueProtocol()) {
    fileEntry->removeURIWhoseHostnameIs(req->getURIHost());
  }
  if (!getPieceStorage()) {
    ctx->setAcceptMetalink(false);
    int64_t totalLength = httpResponse->getEntityLength();
    checkAnnouncedLength(totalLength, ctx->getPieceLength());
    fileEntry->setLength(totalLength);
    if (fileEntry->getPath().empty()) {
      setFilePathFromResponse(*httpResponse);
    }
    fileEntry->setContentType(httpResponse->getContentType());
    getRequestGroup()->preDownloadProcessing();
    updateLastModifiedTime(httpResponse->getLastModifiedTime());
    if (totalLength == 0 || shouldInflateContentEncoding(httpResponse.get())) {
      fileEntry->setLength(0);
      if (req->getMethod() == Request::METHOD_GET &&
          (totalLength != 0 ||
           !httpResponse->getHttpHeader()->defined(HttpHeader::CONTENT_LENGTH))) {
        ctx->setKnowsTotalLength(false);
      }
      return handleOtherEncoding(std::move(httpResponse));
    }
    return handleDefaultEncoding(std::move(httpResponse));
  }
  if (!ctx->getHashType().empty() && header->defined(HttpHeader::DIGEST)) {
    checkDigest(*httpResponse);
  }
  getRequestGroup()->validateTotalLength(fileEntry->getLength(), httpResponse->getEntityLength());
  updateLastModifiedTime(httpResponse->getLastModifiedTime());
  std::unique_ptr<StreamFilter> filter;
  if (getRequestGroup()->getTotalLength() != 0) {
    filter = getTransferEncodingStreamFilter(httpResponse.get());
  } else {
    getPieceStorage()->getDiskAdaptor()->truncate(0);
    filter = getTransferEncodingStreamFilter(httpResponse.get(),
                                             getContentEncodingStreamFilter(httpResponse.get()));
  }
  getDownloadEngine()->addCommand(
      createHttpDownloadCommand(std::move(httpResponse), std::move(filter)));
  return true;
}

bool HttpResponseCommand::shouldInflateContentEncoding(const HttpResponse* httpResponse) const {
  if (!getOption()->getAsBool(PREF_HTTP_ACCEPT_GZIP) ||
      !httpResponse->isContentEncodingSpecified()) {
    return false;
  }
  const std::string& encoding = httpResponse->getContentEncoding();
  return encoding == "gzip" || encoding == "deflate";
}

void HttpResponseCommand::updateLastModifiedTime(const Time& lastModified) {
  if (getOption()->getAsBool(PREF_REMOTE_TIME)) {
    getRequestGroup()->updateLastModifiedTime(lastModified);
  }
}

void HttpResponseCommand::onDryRunFileFound() {
  getPieceStorage()->markAllPiecesDone();
  getDownloadContext()->setChecksumVerified(true);
  poolConnection();
}

bool HttpResponseCommand::handleDefaultEncoding(std::unique_ptr<HttpResponse> httpResponse) {
  const auto& req = getRequest();
  // Renaming away from (or refusing) a clashing file comes before the storage
  // is made, since the storage opens the file under its final name.
  getRequestGroup()->adjustFilename(std::make_shared<DefaultBtProgressInfoFile>(
      getDownloadContext(), nullptr, getOption().get()));
  getRequestGroup()->initPieceStorage();
  if (getOption()->getAsBool(PREF_DRY_RUN)) {
    onDryRunFileFound();
    return true;
  }
  auto entry = getRequestGroup()->createCheckIntegrityEntry();
  if (!entry) {
    // The file is already complete.
    return true;
  }
  auto segment = getSegmentMan()->getSegmentWithIndex(getCuid(), 0);
  bool continueHere = req->getMethod() == Request::METHOD_GET && segment &&
                      segment->getPositionToWrite() == 0 && !req->isPipeliningEnabled();
  bool head = req->getMethod() == Request::METHOD_HEAD;
  if (continueHere) {
    auto filter = getTransferEncodingStreamFilter(httpResponse.get());
    entry->pushNextCommand(createHttpDownloadCommand(std::move(httpResponse), std::move(filter)));
  } else {
    getSegmentMan()->cancelSegment(getCuid());
    getFileEntry()->poolRequest(req);
  }
  prepareForNextAction(std::move(entry));
  if (head) {
    poolConnection();
    req->setMethod(Request::METHOD_GET);
  }
  return true;
}

bool HttpResponseCommand::handleOtherEncoding(std::unique_ptr<HttpResponse> httpResponse) {
  const auto& req = getRequest();
  if (getOption()->getAsBool(PREF_DRY_RUN)) {
    getRequestGroup()->initPieceStorage();
    onDryRunFileFound();
    return true;
  }
  if (req->getMethod() == Request::METHOD_HEAD) {
    poolConnection();
    req->setMethod(Request::METHOD_GET);
    return prepareForRetry(0);
  }
  auto filter = getTransferEncodingStreamFilter(httpResponse.get(),
                                                getContentEncodingStreamFilter(httpResponse.get()));
  bool chunked = filter && filter->getName() == ChunkedDecodingStreamFilter::NAME;
  const auto& ctx = getDownloadContext();
  if (!chunked && ctx->knowsTotalLength() && getRequestGroup()->downloadFinishedByFileLength()) {
    getRequestGroup()->initPieceStorage();
    if (!ctx->isChecksumVerificationNeeded()) {
      getPieceStorage()->markAllPiecesDone();
      ctx->setChecksumVerified(true);
      QLOG_NOTICE(fmt(_("GID#%s - Download has already completed: %s"),
                      GroupId::toHex(getRequestGroup()->getGID()).c_str(),
                      getRequestGroup()->getFirstFilePath().c_str()));
    } else {
      QLOG_DEBUG("Zero length file exists. Verify checksum.");
      queueChecksumCheck(true);
    }
    poolConnection();
    return true;
  }
  getRequestGroup()->adjustFilename(std::make_shared<NullProgressInfoFile>());
  getRequestGroup()->initPieceStorage();
  getPieceStorage()->getDiskAdaptor()->initAndOpenFile();
  if (chunked || !ctx->knowsTotalLength()) {
    getSegmentMan()->getSegmentWithIndex(getCuid(), 0);
    getDownloadEngine()->addCommand(
        createHttpDownloadCommand(std::move(httpResponse), std::move(filter)));
    return true;
  }
  QLOG_DEBUG("File length becomes zero and it means download completed.");
  if (ctx->isChecksumVerificationNeeded()) {
    QLOG_DEBUG("Verify checksum for zero-length file");
    queueChecksumCheck(false);
  } else {
    getPieceStorage()->markAllPiecesDone();
  }
  poolConnection();
  return true;
}

bool HttpResponseCommand::skipResponseBody(std::unique_ptr<HttpResponse> httpResponse) {
  auto filter = getTransferEncodingStreamFilter(httpResponse.get());
  bool noBody =
      getRequest()->getMethod() == Request::METHOD_HEAD ||
      (httpResponse->getEntityLength() == 0 && !httpResponse->isTransferEncodingSpecified());
  auto command = std::make_unique<HttpSkipResponseCommand>(
      getCuid(), getRequest(), getFileEntry(), getRequestGroup(), httpConnection_,
      std::move(httpResponse), getDownloadEngine(), getSocket());
  command->installStreamFilter(std::move(filter));
  if (noBody) {
    command->setStatusRealtime();
    command->disableSocketCheck();
    getDownloadEngine()->setNoWait(true);
  }
  getDownloadEngine()->addCommand(std::move(command));
  return true;
}

std::unique_ptr<Command> HttpResponseCommand::createHttpDownloadCommand(
    std::unique_ptr<HttpResponse> httpResponse, std::unique_ptr<StreamFilter> filter) {
  auto command = std::make_unique<HttpDownloadCommand>(
      getCuid(), getRequest(), getFileEntry(), getRequestGroup(), std::move(httpResponse),
      httpConnection_, getDownloadEngine(), getSocket());
  command->setStartupIdleTime(getOption()->getAsInt(PREF_STARTUP_IDLE_TIME));
  command->setLowestDownloadSpeedLimit(getOption()->getAsInt(PREF_LOWEST_SPEED_LIMIT));
  if (getRequestGroup()->isFileAllocationEnabled() &&
      chainHasFilter(filter.get(), GZipDecodingStreamFilter::NAME)) {
    getRequestGroup()->setFileAllocationEnabled(false);
  }
  command->installStreamFilter(std::move(filter));
  getRequestGroup()->getURISelector()->tuneDownloadCommand(getFileEntry()->getRemainingUris(),
                                                           command.get());
  return command;
}

}  // namespace quarn
