#pragma once

#include <cstdint>
#include <string>

#include "dht/DHTConstants.h"
#include "foundation/Timer.h"

namespace quarn {

// One DHT node: this process's own or a remote one. Its condition counts the
// queries it left unanswered since it last spoke.
class DHTNode {
 public:
  // A node with a fresh random id: the local node, or a node pinged at an
  // address before its id is known.
  DHTNode();
  // A node whose id is known; it has not spoken yet.
  explicit DHTNode(const unsigned char* id);

  bool isGood() const { return !isBad() && !isQuestionable(); }
  bool isBad() const { return condition_ >= DHT_BAD_CONDITION; }
  bool isQuestionable() const;
  void markGood() { condition_ = 0; }
  void markBad() { condition_ = DHT_BAD_CONDITION; }
  void timeout() { ++condition_; }
  void updateLastContact();

  const unsigned char* getID() const { return id_; }
  void setID(const unsigned char* id);
  const std::string& getIPAddress() const { return ipaddr_; }
  void setIPAddress(const std::string& ipaddr) { ipaddr_ = ipaddr; }
  uint16_t getPort() const { return port_; }
  void setPort(uint16_t port) { port_ = port; }
  int64_t getRTT() const { return rtt_; }
  void setRTT(int64_t rtt) { rtt_ = rtt; }
  int getCondition() const { return condition_; }
  const Timer& getLastContact() const { return lastContact_; }

  std::string toString() const;

  bool operator==(const DHTNode& other) const;
  bool operator!=(const DHTNode& other) const { return !(*this == other); }

 private:
  unsigned char id_[DHT_ID_LENGTH];
  std::string ipaddr_;
  uint16_t port_ = 0;
  int64_t rtt_ = 0;
  int condition_;
  Timer lastContact_ = Timer::zero();
};

}  // namespace quarn
