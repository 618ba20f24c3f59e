#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "client/ftp/FtpConnection.h"
#include "config/Option.h"
#include "foundation/RecoverableException.h"
#include "net/SocketCore.h"
#include "storage/Request.h"

namespace {

using quarn::FtpConnection;

// Statuses of the replies cut from the input when it arrives in chunks of
// the given size; the run ends at the first error, recorded as -1.
std::vector<int> replies(const uint8_t* data, size_t size, size_t chunk) {
  std::vector<int> statuses;
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) {
    abort();
  }
  auto socket = std::make_shared<quarn::SocketCore>(fds[0], SOCK_STREAM);
  socket->setNonBlockingMode();
  auto req = std::make_shared<quarn::Request>();
  req->setUri("ftp://localhost/f");
  quarn::Option option;
  FtpConnection conn(1, socket, req, nullptr, &option);
  try {
    for (size_t pos = 0; pos < size;) {
      size_t n = std::min(chunk, size - pos);
      if (write(fds[1], data + pos, n) != static_cast<ssize_t>(n)) {
        abort();
      }
      pos += n;
      for (int status; (status = conn.receiveResponse()) != 0;) {
        if (status < 100 || status > 999) {
          abort();
        }
        statuses.push_back(status);
      }
    }
  } catch (const quarn::RecoverableException&) {
    statuses.push_back(-1);
  }
  close(fds[1]);
  return statuses;
}

template <typename F>
void tryParse(F f) {
  try {
    f();
  } catch (const quarn::RecoverableException&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 60000) {
    return 0;
  }
  size_t chunk = data[0] + 1;
  ++data;
  --size;
  std::string text(reinterpret_cast<const char*>(data), size);
  tryParse([&] { FtpConnection::parseSize(text); });
  tryParse([&] { FtpConnection::parseMdtm(text); });
  FtpConnection::parseEpsvPort(text);
  tryParse([&] { FtpConnection::parsePasv(text); });
  tryParse([&] { FtpConnection::parsePwd(text); });
  // However the bytes are cut, the same replies come out.
  if (size > 0 && replies(data, size, size) != replies(data, size, chunk)) {
    abort();
  }
  return 0;
}
