#include "client/ftp/FtpConnection.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iterator>
#include <vector>

#include "client/auth/AuthConfig.h"
#include "config/Option.h"
#include "config/prefs.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DlRetryEx.h"
#include "foundation/Logger.h"
#include "foundation/QNSTR.h"
#include "foundation/fmt.h"
#include "foundation/i18n.h"
#include "foundation/util_chars.h"
#include "foundation/util_number.h"
#include "foundation/util_string.h"
#include "net/SocketBuffer.h"
#include "net/SocketCore.h"
#include "storage/Request.h"
#include "storage/Segment.h"

namespace quarn {

namespace {

constexpr size_t READ_CHUNK = 1024;

std::string decoded(const std::string& s) {
  return util::percentDecode(s.begin(), s.end());
}

}  // namespace

FtpConnection::FtpConnection(int64_t cuid, std::shared_ptr<SocketCore> socket,
                             std::shared_ptr<Request> req, std::shared_ptr<AuthConfig> authConfig,
                             const Option* option)
    : cuid_(cuid),
      socket_(std::move(socket)),
      req_(std::move(req)),
      authConfig_(std::move(authConfig)),
      option_(option),
      socketBuffer_(std::make_unique<SocketBuffer>(socket_)),
      baseWorkingDir_("/") {}

FtpConnection::~FtpConnection() = default;

const std::string& FtpConnection::getUser() const {
  return authConfig_ ? authConfig_->getUser() : QNSTR::NIL;
}

void FtpConnection::checkArgument(const std::string& arg) {
  if (arg.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
    throw DL_ABORT_EX(fmt("Refusing an FTP command argument that holds a line break or NUL: %s",
                          util::percentEncode(arg).c_str()));
  }
}

bool FtpConnection::sendCommand(const std::string& command, const std::string& logText) {
  if (socketBuffer_->sendBufferIsEmpty()) {
    QLOG_INFO(fmt("CUID#%lld - Requesting:\n%s", static_cast<long long>(cuid_), logText.c_str()));
    socketBuffer_->pushStr(command);
  }
  return flush();
}

bool FtpConnection::flush() {
  socketBuffer_->send();
  return socketBuffer_->sendBufferIsEmpty();
}

bool FtpConnection::sendFileCommand(const char* verb) {
  std::string file = decoded(req_->getFile());
  checkArgument(file);
  return sendCommand(fmt("%s %s\r\n", verb, file.c_str()));
}

bool FtpConnection::sendUser() {
  const std::string& user = getUser();
  checkArgument(user);
  return sendCommand("USER " + user + "\r\n", "USER ********\r\n");
}

bool FtpConnection::sendPass() {
  const std::string& password = authConfig_ ? authConfig_->getPassword() : QNSTR::NIL;
  checkArgument(password);
  return sendCommand("PASS " + password + "\r\n", "PASS ********\r\n");
}

bool FtpConnection::sendType() {
  char type = option_->get(PREF_FTP_TYPE) == "ascii" ? 'A' : 'I';
  return sendCommand(std::string("TYPE ") + type + "\r\n");
}

bool FtpConnection::sendPwd() {
  return sendCommand("PWD\r\n");
}

bool FtpConnection::sendCwd(const std::string& dir) {
  std::string path = decoded(dir);
  checkArgument(path);
  return sendCommand("CWD " + path + "\r\n");
}

bool FtpConnection::sendMdtm() {
  return sendFileCommand("MDTM");
}

bool FtpConnection::sendSize() {
  return sendFileCommand("SIZE");
}

bool FtpConnection::sendEpsv() {
  return sendCommand("EPSV\r\n");
}

bool FtpConnection::sendPasv() {
  return sendCommand("PASV\r\n");
}

bool FtpConnection::sendEprt(const std::shared_ptr<SocketCore>& serverSocket) {
  if (socketBuffer_->sendBufferIsEmpty()) {
    Endpoint local = serverSocket->getAddrInfo();
    int family = local.family == AF_INET ? 1 : 2;
    return sendCommand(fmt("EPRT |%d|%s|%u|\r\n", family, local.addr.c_str(), local.port));
  }
  return flush();
}

bool FtpConnection::sendPort(const std::shared_ptr<SocketCore>& serverSocket) {
  if (socketBuffer_->sendBufferIsEmpty()) {
    Endpoint ctrl = socket_->getAddrInfo();
    int ip[4] = {0, 0, 0, 0};
    sscanf(ctrl.addr.c_str(), "%d.%d.%d.%d", &ip[0], &ip[1], &ip[2], &ip[3]);
    uint16_t port = serverSocket->getAddrInfo().port;
    return sendCommand(
        fmt("PORT %d,%d,%d,%d,%d,%d\r\n", ip[0], ip[1], ip[2], ip[3], port / 256, port % 256));
  }
  return flush();
}

bool FtpConnection::sendRest(const std::shared_ptr<Segment>& segment) {
  long long position = segment ? segment->getPositionToWrite() : 0;
  return sendCommand(fmt("REST %lld\r\n", position));
}

bool FtpConnection::sendRetr() {
  return sendFileCommand("RETR");
}

std::shared_ptr<SocketCore> FtpConnection::createServerSocket() {
  Endpoint local = socket_->getAddrInfo();
  auto serverSocket = std::make_shared<SocketCore>();
  serverSocket->bind(local.addr.c_str(), 0, AF_UNSPEC, AI_PASSIVE);
  serverSocket->beginListen();
  return serverSocket;
}

int FtpConnection::getStatus(const std::string& text) {
  if (text.size() < 4 || !util::isDigit(text[0]) || !util::isDigit(text[1]) ||
      !util::isDigit(text[2]) || (text[3] != ' ' && text[3] != '-')) {
    return 0;
  }
  return (text[0] - '0') * 100 + (text[1] - '0') * 10 + (text[2] - '0');
}

size_t FtpConnection::findEndOfResponse(int status, const std::string& buf) {
  if (buf.size() <= 4) {
    return std::string::npos;
  }
  if (buf[3] == '-') {
    size_t last = buf.find(fmt("\r\n%d ", status));
    if (last == std::string::npos) {
      return std::string::npos;
    }
    size_t eol = buf.find("\r\n", last + 6);
    return eol == std::string::npos ? std::string::npos : eol + 2;
  }
  size_t eol = buf.find("\r\n");
  return eol == std::string::npos ? std::string::npos : eol + 2;
}

bool FtpConnection::bulkReceiveResponse(Reply& reply) {
  char buf[READ_CHUNK];
  for (;;) {
    size_t size = sizeof(buf);
    socket_->readData(buf, size);
    if (size == 0) {
      break;
    }
    if (recvBuffer_.size() + size > MAX_RECV_BUFFER) {
      throw DL_RETRY_EX(fmt("Max FTP recv buffer reached. length=%lu",
                            static_cast<unsigned long>(recvBuffer_.size() + size)));
    }
    recvBuffer_.append(buf, size);
  }
  if (!socket_->wantRead() && !socket_->wantWrite()) {
    throw DL_RETRY_EX(_("Got EOF from the server."));
  }
  if (recvBuffer_.size() <= 3) {
    return false;
  }
  int status = getStatus(recvBuffer_);
  if (status == 0) {
    throw DL_ABORT_EX(_("Invalid response."), error_code::FTP_PROTOCOL_ERROR);
  }
  size_t length = findEndOfResponse(status, recvBuffer_);
  if (length == std::string::npos) {
    return false;
  }
  reply.first = status;
  reply.second = recvBuffer_.substr(0, length);
  QLOG_INFO(fmt("CUID#%lld - Response received:\n%s", static_cast<long long>(cuid_),
                reply.second.c_str()));
  recvBuffer_.erase(0, length);
  return true;
}

int FtpConnection::receiveResponse() {
  Reply reply;
  return bulkReceiveResponse(reply) ? reply.first : 0;
}

int64_t FtpConnection::parseSize(const std::string& text) {
  auto parts = util::divide(text.begin(), text.end(), ' ');
  int64_t size;
  if (!util::parseLLIntNoThrow(size, std::string(parts.second.first, parts.second.second)) ||
      size < 0) {
    throw DL_ABORT_EX("Size must be positive integer");
  }
  return size;
}

Time FtpConnection::parseMdtm(const std::string& text) {
  char word[15] = {};
  if (sscanf(text.c_str(), "%*u %14s", word) != 1 || strlen(word) != 14) {
    return Time::null();
  }
  for (const char* p = word; *p; ++p) {
    if (!util::isDigit(*p)) {
      return Time::null();
    }
  }
  tm t{};
  sscanf(word, "%4d%2d%2d%2d%2d%2d", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour, &t.tm_min,
         &t.tm_sec);
  t.tm_year -= 1900;
  t.tm_mon -= 1;
  return Time(timegm(&t));
}

uint16_t FtpConnection::parseEpsvPort(const std::string& text) {
  size_t open = text.find('(');
  size_t close = text.find(')');
  if (open == std::string::npos || close == std::string::npos || close < open) {
    return 0;
  }
  std::vector<std::pair<std::string::const_iterator, std::string::const_iterator>> items;
  util::splitIter(text.begin() + open + 1, text.begin() + close, std::back_inserter(items), '|',
                  true, true);
  if (items.size() != 5) {
    return 0;
  }
  uint32_t port;
  if (!util::parseUIntNoThrow(port, std::string(items[3].first, items[3].second)) || port < 1 ||
      port > 65535) {
    return 0;
  }
  return static_cast<uint16_t>(port);
}

std::pair<std::string, uint16_t> FtpConnection::parsePasv(const std::string& text) {
  size_t open = text.size() > 4 ? text.find('(', 4) : std::string::npos;
  if (open == std::string::npos) {
    throw DL_RETRY_EX(_("Invalid response."));
  }
  int n[6] = {0, 0, 0, 0, 0, 0};
  int matched =
      sscanf(text.c_str() + open, "(%d,%d,%d,%d,%d,%d).", &n[0], &n[1], &n[2], &n[3], &n[4], &n[5]);
  // Anything but six byte values would send the data connection to a made-up
  // address or to port 0.
  if (matched != 6 ||
      std::any_of(std::begin(n), std::end(n), [](int v) { return v < 0 || v > 255; }) ||
      n[4] * 256 + n[5] == 0) {
    throw DL_ABORT_EX(fmt("Invalid response: %s", util::strip(text).c_str()),
                      error_code::FTP_PROTOCOL_ERROR);
  }
  return {fmt("%d.%d.%d.%d", n[0], n[1], n[2], n[3]), static_cast<uint16_t>(n[4] * 256 + n[5])};
}

std::string FtpConnection::parsePwd(const std::string& text) {
  size_t first = text.find('"');
  size_t last = first == std::string::npos ? first : text.find('"', first + 1);
  if (last == std::string::npos) {
    throw DL_ABORT_EX(_("Invalid response."), error_code::FTP_PROTOCOL_ERROR);
  }
  return text.substr(first + 1, last - first - 1);
}

int FtpConnection::receiveSizeResponse(int64_t& size) {
  Reply reply;
  if (!bulkReceiveResponse(reply)) {
    return 0;
  }
  if (reply.first == 213) {
    size = parseSize(reply.second);
  }
  return reply.first;
}

int FtpConnection::receiveMdtmResponse(Time& time) {
  Reply reply;
  if (!bulkReceiveResponse(reply)) {
    return 0;
  }
  if (reply.first == 213) {
    time = parseMdtm(reply.second);
  }
  return reply.first;
}

int FtpConnection::receiveEpsvResponse(uint16_t& port) {
  Reply reply;
  if (!bulkReceiveResponse(reply)) {
    return 0;
  }
  port = 0;
  if (reply.first == 229) {
    port = parseEpsvPort(reply.second);
    if (port == 0) {
      throw DL_ABORT_EX(fmt("Invalid response: %s", util::strip(reply.second).c_str()),
                        error_code::FTP_PROTOCOL_ERROR);
    }
  }
  return reply.first;
}

int FtpConnection::receivePasvResponse(std::pair<std::string, uint16_t>& hostAndPort) {
  Reply reply;
  if (!bulkReceiveResponse(reply)) {
    return 0;
  }
  if (reply.first == 227) {
    hostAndPort = parsePasv(reply.second);
  }
  return reply.first;
}

int FtpConnection::receivePwdResponse(std::string& dir) {
  Reply reply;
  if (!bulkReceiveResponse(reply)) {
    return 0;
  }
  if (reply.first == 257) {
    dir = parsePwd(reply.second);
  }
  return reply.first;
}

}  // namespace quarn
