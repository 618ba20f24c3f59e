#include "bittorrent/UDPTrackerClient.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bittorrent/UDPTrackerRequest.h"
#include "bittorrent/wire_fields.h"

namespace quarn {
namespace {

using std::chrono::seconds;
using Req = std::shared_ptr<UDPTrackerRequest>;

const std::string TRACKER = "192.0.2.7";
const uint16_t TRACKER_PORT = 6969;

Req announceRequest(unsigned char hashByte = 0x11, const std::string& addr = TRACKER,
                    uint16_t port = TRACKER_PORT) {
  auto req = std::make_shared<UDPTrackerRequest>();
  req->remoteAddr = addr;
  req->remotePort = port;
  req->action = UDPT_ACT_ANNOUNCE;
  req->infohash.fill(hashByte);
  req->peerId.fill(0x22);
  req->downloaded = 0x0102030405060708LL;
  req->left = 0x1112131415161718LL;
  req->uploaded = 0x2122232425262728LL;
  req->event = UDPT_EVT_STARTED;
  const unsigned char ip[4] = {192, 0, 2, 99};
  std::memcpy(&req->ip, ip, 4);
  req->key = 0xdeadbeef;
  req->numWant = 50;
  req->port = 6881;
  return req;
}

std::string bytes(std::initializer_list<int> b) {
  std::string s;
  for (int c : b) {
    s.push_back(static_cast<char>(c));
  }
  return s;
}

std::string be32(uint32_t v) {
  unsigned char b[4];
  bittorrent::setIntParam(b, v);
  return std::string(reinterpret_cast<char*>(b), 4);
}

std::string be64(uint64_t v) {
  unsigned char b[8];
  bittorrent::setLLIntParam(b, v);
  return std::string(reinterpret_cast<char*>(b), 8);
}

// A client with a clock and a "wire": what createRequest makes is recorded
// and counted as sent.
struct Client : ::testing::Test {
  Timer at(int s) const { return Timer(start.getTime() + seconds(s)); }

  // Makes and sends the next packet at time s; empty when there is none.
  std::string send(int s = 0) {
    unsigned char buf[65536];
    std::string addr;
    uint16_t port = 0;
    ssize_t n = client.createRequest(buf, sizeof(buf), addr, port, at(s));
    if (n == -1) {
      return "";
    }
    EXPECT_EQ(TRACKER, addr);
    EXPECT_EQ(TRACKER_PORT, port);
    client.requestSent(at(s));
    return std::string(reinterpret_cast<char*>(buf), static_cast<size_t>(n));
  }

  int receive(const std::string& d, Req& out, int s = 0, const std::string& addr = TRACKER,
              uint16_t port = TRACKER_PORT) {
    return client.receiveReply(out, reinterpret_cast<const unsigned char*>(d.data()), d.size(),
                               addr, port, at(s));
  }

  static uint32_t tid(const std::string& packet) {
    return bittorrent::getIntParam(reinterpret_cast<const unsigned char*>(packet.data()), 12);
  }

  // Sends the connect for whatever is pending and answers it.
  void connect(uint64_t connectionId = 0x0a0b0c0d0e0f1011ULL, int s = 0) {
    std::string c = send(s);
    ASSERT_EQ(16u, c.size());
    Req out;
    ASSERT_EQ(0, receive(be32(0) + be32(tid(c)) + be64(connectionId), out, s));
  }

  Timer start;
  UDPTrackerClient client;
};

TEST_F(Client, ConnectThenAnnounceWithGoldenPacketsAndPeers) {
  auto req = announceRequest();
  client.addRequest(req);

  std::string c = send();
  EXPECT_EQ(bytes({0x00, 0x00, 0x04, 0x17, 0x27, 0x10, 0x19, 0x80, 0, 0, 0, 0}), c.substr(0, 12));
  ASSERT_EQ(1u, client.getInflightRequests().size());
  EXPECT_EQ(UDPT_ACT_CONNECT, client.getInflightRequests().front()->action);

  Req out;
  ASSERT_EQ(0, receive(be32(0) + be32(tid(c)) + be64(0x0a0b0c0d0e0f1011ULL), out));
  EXPECT_EQ(UDPT_ACT_CONNECT, out->action);
  EXPECT_EQ(UDPT_STA_PENDING, req->state);

  std::string a = send();
  ASSERT_EQ(100u, a.size());
  std::string golden = be64(0x0a0b0c0d0e0f1011ULL) + be32(1) + be32(tid(a)) +
                       std::string(20, '\x11') + std::string(20, '\x22') +
                       be64(0x0102030405060708ULL) + be64(0x1112131415161718ULL) +
                       be64(0x2122232425262728ULL) + be32(2) + bytes({192, 0, 2, 99}) +
                       be32(0xdeadbeef) + be32(50) + bytes({0x1a, 0xe1, 0, 0});
  EXPECT_EQ(golden, a);

  // Two whole peers and three stray bytes.
  std::string reply = be32(1) + be32(tid(a)) + be32(1800) + be32(3) + be32(4) +
                      bytes({10, 0, 0, 1, 0x1a, 0xe1, 10, 0, 0, 2, 0x1a, 0xe2, 1, 2, 3});
  ASSERT_EQ(0, receive(reply, out));
  EXPECT_EQ(req, out);
  EXPECT_EQ(UDPT_STA_COMPLETE, req->state);
  EXPECT_EQ(UDPT_ERR_SUCCESS, req->error);
  ASSERT_TRUE(req->reply);
  EXPECT_EQ(1800, req->reply->interval);
  EXPECT_EQ(3, req->reply->leechers);
  EXPECT_EQ(4, req->reply->seeders);
  std::vector<std::pair<std::string, uint16_t>> peers{{"10.0.0.1", 6881}, {"10.0.0.2", 6882}};
  EXPECT_EQ(peers, req->reply->peers);
  EXPECT_TRUE(client.getInflightRequests().empty());
}

TEST_F(Client, AnnounceReplyWithoutPeersCompletes) {
  auto req = announceRequest();
  client.addRequest(req);
  connect();
  std::string a = send();
  Req out;
  ASSERT_EQ(0, receive(be32(1) + be32(tid(a)) + be32(60) + be32(0) + be32(0), out));
  ASSERT_TRUE(req->reply);
  EXPECT_TRUE(req->reply->peers.empty());
}

TEST_F(Client, AnnouncesToOneTrackerShareOneConnect) {
  auto first = announceRequest(0x01);
  auto second = announceRequest(0x02);
  auto elsewhere = announceRequest(0x03, "192.0.2.8");
  client.addRequest(first);
  client.addRequest(second);
  std::string c = send();
  ASSERT_EQ(16u, c.size());
  // Both wait for that connect; nothing else is sent.
  EXPECT_EQ("", send());
  EXPECT_EQ((std::deque<Req>{first, second}), client.getConnectRequests());

  client.addRequest(elsewhere);
  Req out;
  ASSERT_EQ(0, receive(be32(0) + be32(tid(c)) + be64(7), out));
  EXPECT_EQ((std::deque<Req>{first, second, elsewhere}), client.getPendingRequests());
  EXPECT_TRUE(client.getConnectRequests().empty());
}

TEST_F(Client, ConnectionIdExpiresAfterSixtySeconds) {
  client.addRequest(announceRequest());
  connect(7, 0);
  EXPECT_EQ(100u, send(0).size());
  client.addRequest(announceRequest());
  EXPECT_EQ(100u, send(60).size());
  client.addRequest(announceRequest());
  EXPECT_EQ(16u, send(61).size());
}

TEST_F(Client, RepliesThatAnswerNothingAreIgnored) {
  client.addRequest(announceRequest());
  std::string c = send();
  uint32_t t = tid(c);
  struct Case {
    const char* name;
    std::string datagram;
    std::string addr;
    uint16_t port;
  };
  const Case cases[] = {
      {"connect of 17 bytes", be32(0) + be32(t) + be64(7) + "x", TRACKER, TRACKER_PORT},
      {"connect of 15 bytes", (be32(0) + be32(t) + be64(7)).substr(0, 15), TRACKER, TRACKER_PORT},
      {"announce too short", (be32(1) + be32(t) + std::string(12, '\0')).substr(0, 19), TRACKER,
       TRACKER_PORT},
      {"error too short", be32(3) + "abc", TRACKER, TRACKER_PORT},
      {"scrape", be32(2) + be32(t) + std::string(8, '\0'), TRACKER, TRACKER_PORT},
      {"unknown action", be32(9) + be32(t) + be64(7), TRACKER, TRACKER_PORT},
      {"shorter than the action", bytes({0, 0}), TRACKER, TRACKER_PORT},
      {"empty", "", TRACKER, TRACKER_PORT},
      {"other transaction", be32(0) + be32(t + 1) + be64(7), TRACKER, TRACKER_PORT},
      {"other sender", be32(0) + be32(t) + be64(7), "192.0.2.9", TRACKER_PORT},
      {"other port", be32(0) + be32(t) + be64(7), TRACKER, TRACKER_PORT + 1},
      {"announce reply to the connect", be32(1) + be32(t) + std::string(12, '\0'), TRACKER,
       TRACKER_PORT},
  };
  for (const auto& tc : cases) {
    Req out;
    EXPECT_EQ(-1, receive(tc.datagram, out, 0, tc.addr, tc.port)) << tc.name;
    EXPECT_FALSE(out) << tc.name;
    EXPECT_EQ(1u, client.getInflightRequests().size()) << tc.name;
  }
  Req out;
  EXPECT_EQ(0, receive(be32(0) + be32(t) + be64(7), out));
}

TEST_F(Client, ConnectReplyDoesNotTakeTheAnnounceInFlight) {
  auto req = announceRequest();
  client.addRequest(req);
  connect();
  std::string a = send();
  ASSERT_EQ(100u, a.size());
  Req out;
  EXPECT_EQ(-1, receive(be32(0) + be32(tid(a)) + be64(7), out));
  EXPECT_FALSE(out);
  ASSERT_EQ(1u, client.getInflightRequests().size()) << "the announce still waits for its reply";
  ASSERT_EQ(0, receive(be32(1) + be32(tid(a)) + be32(1800) + be32(0) + be32(0), out));
  EXPECT_EQ(req, out);
  EXPECT_EQ(UDPT_STA_COMPLETE, req->state);
}

TEST_F(Client, ErrorReplyToConnectFailsEveryAnnounceWaitingForIt) {
  auto first = announceRequest(0x01);
  auto second = announceRequest(0x02);
  client.addRequest(first);
  client.addRequest(second);
  std::string c = send();
  send();
  Req out;
  ASSERT_EQ(0, receive(be32(3) + be32(tid(c)) + "go away\xff", out));
  EXPECT_EQ(UDPT_ACT_CONNECT, out->action);
  EXPECT_EQ(UDPT_ERR_TRACKER, out->error);
  for (const auto& req : {first, second}) {
    EXPECT_EQ(UDPT_STA_COMPLETE, req->state);
    EXPECT_EQ(UDPT_ERR_TRACKER, req->error);
  }
  EXPECT_TRUE(client.getConnectRequests().empty());
  // The tracker is forgotten: the next announce connects again.
  client.addRequest(announceRequest());
  EXPECT_EQ(16u, send().size());
}

TEST_F(Client, ErrorReplyToAnnounceFailsOnlyThatAnnounce) {
  auto req = announceRequest();
  client.addRequest(req);
  connect();
  std::string a = send();
  Req out;
  ASSERT_EQ(0, receive(be32(3) + be32(tid(a)) + "torrent not registered", out));
  EXPECT_EQ(req, out);
  EXPECT_EQ(UDPT_ERR_TRACKER, req->error);
  client.addRequest(announceRequest());
  EXPECT_EQ(100u, send().size());
}

TEST_F(Client, UnansweredRequestIsSentTwiceThenTimesOut) {
  auto req = announceRequest();
  client.addRequest(req);
  connect();
  std::string a = send(0);
  client.handleTimeout(Timer(at(5).getTime() - std::chrono::milliseconds(1)));
  EXPECT_EQ(1u, client.getInflightRequests().size());
  client.handleTimeout(at(5));
  EXPECT_EQ(1, req->failCount);
  ASSERT_EQ((std::deque<Req>{req}), client.getPendingRequests());
  std::string again = send(6);
  ASSERT_EQ(100u, again.size());
  // The resent announce carries a new transaction id; the old one is dead.
  if (tid(a) != tid(again)) {
    Req out;
    EXPECT_EQ(-1, receive(be32(1) + be32(tid(a)) + std::string(12, '\0'), out, 6));
  }
  client.handleTimeout(at(15));
  EXPECT_EQ(UDPT_STA_PENDING, req->state);
  client.handleTimeout(at(16));
  EXPECT_EQ(UDPT_STA_COMPLETE, req->state);
  EXPECT_EQ(UDPT_ERR_TIMEOUT, req->error);
  EXPECT_TRUE(client.getInflightRequests().empty());
}

TEST_F(Client, ConnectTimeoutFailsWaitingAnnounces) {
  auto req = announceRequest();
  client.addRequest(req);
  send(0);
  send(0);
  client.handleTimeout(at(5));
  send(5);
  client.handleTimeout(at(15));
  EXPECT_EQ(UDPT_ERR_TIMEOUT, req->error);
  EXPECT_EQ(UDPT_STA_COMPLETE, req->state);
  EXPECT_TRUE(client.getConnectRequests().empty());
}

TEST_F(Client, SendFailureOfConnectFailsItsAnnounces) {
  auto req = announceRequest();
  client.addRequest(req);
  unsigned char buf[100];
  std::string addr;
  uint16_t port;
  ASSERT_EQ(16, client.createRequest(buf, sizeof(buf), addr, port, at(0)));
  client.requestFail(UDPT_ERR_NETWORK);
  EXPECT_EQ(UDPT_ERR_NETWORK, req->error);
  EXPECT_TRUE(client.getPendingRequests().empty());
  // Failing with nothing pending only warns.
  client.requestFail(UDPT_ERR_NETWORK);
  client.requestSent(at(0));
}

TEST(UDPTrackerClientLife, ShutdownCompletesEveryQueuedRequest) {
  auto pending = announceRequest(0x01);
  auto waiting = announceRequest(0x02);
  {
    UDPTrackerClient client;
    client.addRequest(pending);
    client.addRequest(waiting);
    unsigned char buf[100];
    std::string addr;
    uint16_t port;
    client.createRequest(buf, sizeof(buf), addr, port, Timer());
    client.requestSent(Timer());
    client.createRequest(buf, sizeof(buf), addr, port, Timer());
    ASSERT_EQ(2u, client.getConnectRequests().size());
  }
  EXPECT_EQ(UDPT_ERR_SHUTDOWN, pending->error);
  EXPECT_EQ(UDPT_ERR_SHUTDOWN, waiting->error);
  EXPECT_EQ(UDPT_STA_COMPLETE, waiting->state);
}

TEST(UDPTrackerClientText, ActionAndEventNames) {
  EXPECT_STREQ("CONNECT", getUDPTrackerActionStr(0));
  EXPECT_STREQ("ANNOUNCE", getUDPTrackerActionStr(1));
  EXPECT_STREQ("(unknown)", getUDPTrackerActionStr(2));
  EXPECT_STREQ("ERROR", getUDPTrackerActionStr(3));
  EXPECT_STREQ("(unknown)", getUDPTrackerActionStr(4));
  EXPECT_STREQ("STOPPED", getUDPTrackerEventStr(3));
  EXPECT_STREQ("(unknown)", getUDPTrackerEventStr(-1));
}

}  // namespace
}  // namespace quarn
