// Feeds arbitrary bytes to the control server's request reading (head, then body) over a
// socket pair: it may refuse the input, but must not crash, and must never claim more
// body bytes than the head announced.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "foundation/RecoverableException.h"
#include "net/SocketCore.h"
#include "rpc/HttpServer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) {
    return 0;
  }
  // Keep the write side small enough that it never blocks.
  size_t length = size > 60000 ? 60000 : size;
  if (length > 0 && write(fds[1], data, length) != static_cast<ssize_t>(length)) {
    close(fds[0]);
    close(fds[1]);
    return 0;
  }
  shutdown(fds[1], SHUT_WR);
  auto socket = std::make_shared<quarn::SocketCore>(fds[0], SOCK_STREAM);
  socket->setNonBlockingMode();
  quarn::rpc::HttpServer server(socket);
  server.setUsernamePassword("user", "pass");
  try {
    for (int requests = 0; requests < 16; ++requests) {
      if (!server.receiveRequest()) {
        continue;
      }
      server.authenticate();
      server.createPath();
      server.createQuery();
      if (server.getContentLength() < 0) {
        abort();
      }
      while (!server.receiveBody()) {
      }
    }
  } catch (quarn::RecoverableException&) {
  }
  close(fds[1]);
  return 0;
}
