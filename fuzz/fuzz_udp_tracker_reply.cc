// Feeds arbitrary bytes to the UDP tracker client as a datagram from the
// tracker while a connect (transaction id 1) and an announce (transaction id
// 2) wait for replies. Whatever it takes must answer one of those two and
// leave a well-formed request behind.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "bittorrent/UDPTrackerClient.h"
#include "bittorrent/UDPTrackerRequest.h"
#include "bittorrent/wire_fields.h"

namespace {

const std::string TRACKER = "127.0.0.1";
const uint16_t PORT = 6969;

std::shared_ptr<quarn::UDPTrackerRequest> announce() {
  auto req = std::make_shared<quarn::UDPTrackerRequest>();
  req->remoteAddr = TRACKER;
  req->remotePort = PORT;
  req->action = quarn::UDPT_ACT_ANNOUNCE;
  return req;
}

// Makes the next packet, counts it as sent and gives the request in flight
// the wanted transaction id.
void sendNext(quarn::UDPTrackerClient& client, const quarn::Timer& now, int32_t transactionId) {
  unsigned char buf[100];
  std::string addr;
  uint16_t port = 0;
  if (client.createRequest(buf, sizeof(buf), addr, port, now) == -1) {
    abort();
  }
  client.requestSent(now);
  client.getInflightRequests().back()->transactionId = transactionId;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quarn::UDPTrackerClient client;
  quarn::Timer start;
  quarn::Timer later(start.getTime() + std::chrono::seconds(61));
  auto first = announce();
  auto second = announce();
  client.addRequest(first);
  sendNext(client, start, 7);
  unsigned char connectReply[16] = {0, 0, 0, 0, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0, 9};
  std::shared_ptr<quarn::UDPTrackerRequest> out;
  if (client.receiveReply(out, connectReply, 16, TRACKER, PORT, start) != 0) {
    abort();
  }
  sendNext(client, start, 2);
  // The cached id has expired by now, so the second announce connects again.
  client.addRequest(second);
  sendNext(client, later, 1);

  out.reset();
  int rv = client.receiveReply(out, data, size, TRACKER, PORT, later);
  if (rv == -1) {
    if (out || client.getInflightRequests().size() != 2) {
      abort();
    }
    return 0;
  }
  if (rv != 0 || !out || (out != first && out->action != quarn::UDPT_ACT_CONNECT)) {
    abort();
  }
  if (out == first && first->state != quarn::UDPT_STA_COMPLETE) {
    abort();
  }
  // A connect is answered by a connect or an error reply, never an announce one.
  if (out->action == quarn::UDPT_ACT_CONNECT && out->reply) {
    abort();
  }
  if (first->reply) {
    size_t maxPeers = (size - 20) / 6;
    if (first->error != quarn::UDPT_ERR_SUCCESS || first->reply->peers.size() > maxPeers) {
      abort();
    }
    for (const auto& peer : first->reply->peers) {
      if (peer.first.empty()) {
        abort();
      }
    }
  }
  return 0;
}
