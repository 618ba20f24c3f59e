#pragma once

#include "client/common/AbstractCommand.h"

namespace quarn {

class Checksum;
class DownloadContext;
class HttpConnection;
class HttpResponse;
class StreamFilter;
class Time;

// Reads the head of an answer and decides what the connection does next:
// skip an unwanted body, prepare storage on the first answer, or download.
class HttpResponseCommand : public AbstractCommand {
 public:
  HttpResponseCommand(cuid_t cuid, std::shared_ptr<Request> req,
                      std::shared_ptr<FileEntry> fileEntry, RequestGroup* requestGroup,
                      std::shared_ptr<HttpConnection> httpConnection, DownloadEngine* e,
                      std::shared_ptr<SocketCore> s);
  ~HttpResponseCommand() override;

  // Compares a digest a server announced with the one the download has: false
  // for another hash type, true when equal; throws when they differ.
  static bool checkChecksum(const std::shared_ptr<DownloadContext>& dctx, const Checksum& checksum);

 protected:
  bool executeInternal() override;

 private:
  void poolConnection();
  bool handleDefaultEncoding(std::unique_ptr<HttpResponse> httpResponse);
  bool handleOtherEncoding(std::unique_ptr<HttpResponse> httpResponse);
  bool skipResponseBody(std::unique_ptr<HttpResponse> httpResponse);
  std::unique_ptr<Command> createHttpDownloadCommand(std::unique_ptr<HttpResponse> httpResponse,
                                                     std::unique_ptr<StreamFilter> filter);
  void updateLastModifiedTime(const Time& lastModified);
  bool shouldInflateContentEncoding(const HttpResponse* httpResponse) const;
  void onDryRunFileFound();
  void setFilePathFromResponse(const HttpResponse& httpResponse);
  void addMirrorsFromLinks(const HttpResponse& httpResponse);
  void takeDigest(const HttpResponse& httpResponse);
  void checkDigest(const HttpResponse& httpResponse);
  void queueChecksumCheck(bool openExistingFile);

  std::shared_ptr<HttpConnection> httpConnection_;
};

}  // namespace quarn
