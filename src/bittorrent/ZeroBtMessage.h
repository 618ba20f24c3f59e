#pragma once

#include <memory>
#include <span>

#include "bittorrent/SimpleBtMessage.h"
#include "bittorrent/wire_fields.h"

namespace quarn {

class PeerStorage;

// A message of an id and no payload.
class ZeroBtMessage : public SimpleBtMessage {
 public:
  using SimpleBtMessage::SimpleBtMessage;
  std::vector<unsigned char> createMessage() override;
  std::string toString() const override { return getName(); }

 protected:
  template <typename T>
  static std::unique_ptr<T> create(std::span<const std::byte> payload) {
    bittorrent::assertPayloadLengthEqual(1, payload.size(), T::NAME);
    bittorrent::assertID(T::ID, payloadBytes(payload), T::NAME);
    return std::make_unique<T>();
  }
};

class BtChokeMessage : public ZeroBtMessage {
 public:
  static constexpr uint8_t ID = 0;
  static constexpr const char* NAME = "choke";
  BtChokeMessage() : ZeroBtMessage(ID, NAME) {}
  static std::unique_ptr<BtChokeMessage> create(std::span<const std::byte> payload) {
    return ZeroBtMessage::create<BtChokeMessage>(payload);
  }
  void doReceivedAction() override;
};

class BtUnchokeMessage : public ZeroBtMessage {
 public:
  static constexpr uint8_t ID = 1;
  static constexpr const char* NAME = "unchoke";
  BtUnchokeMessage() : ZeroBtMessage(ID, NAME) {}
  static std::unique_ptr<BtUnchokeMessage> create(std::span<const std::byte> payload) {
    return ZeroBtMessage::create<BtUnchokeMessage>(payload);
  }
  void doReceivedAction() override;
};

// Interest changes may call for a choke round at once.
class BtInterestedMessage : public ZeroBtMessage {
 public:
  static constexpr uint8_t ID = 2;
  static constexpr const char* NAME = "interested";
  BtInterestedMessage() : ZeroBtMessage(ID, NAME) {}
  static std::unique_ptr<BtInterestedMessage> create(std::span<const std::byte> payload) {
    return ZeroBtMessage::create<BtInterestedMessage>(payload);
  }
  void doReceivedAction() override;
  void setPeerStorage(PeerStorage* peerStorage) { peerStorage_ = peerStorage; }

 private:
  PeerStorage* peerStorage_ = nullptr;
};

class BtNotInterestedMessage : public ZeroBtMessage {
 public:
  static constexpr uint8_t ID = 3;
  static constexpr const char* NAME = "not interested";
  BtNotInterestedMessage() : ZeroBtMessage(ID, NAME) {}
  static std::unique_ptr<BtNotInterestedMessage> create(std::span<const std::byte> payload) {
    return ZeroBtMessage::create<BtNotInterestedMessage>(payload);
  }
  void doReceivedAction() override;
  void setPeerStorage(PeerStorage* peerStorage) { peerStorage_ = peerStorage; }

 private:
  PeerStorage* peerStorage_ = nullptr;
};

class BtHaveAllMessage : public ZeroBtMessage {
 public:
  static constexpr uint8_t ID = 14;
  static constexpr const char* NAME = "have all";
  BtHaveAllMessage() : ZeroBtMessage(ID, NAME) {}
  static std::unique_ptr<BtHaveAllMessage> create(std::span<const std::byte> payload) {
    return ZeroBtMessage::create<BtHaveAllMessage>(payload);
  }
  void doReceivedAction() override;
};

class BtHaveNoneMessage : public ZeroBtMessage {
 public:
  static constexpr uint8_t ID = 15;
  static constexpr const char* NAME = "have none";
  BtHaveNoneMessage() : ZeroBtMessage(ID, NAME) {}
  static std::unique_ptr<BtHaveNoneMessage> create(std::span<const std::byte> payload) {
    return ZeroBtMessage::create<BtHaveNoneMessage>(payload);
  }
  void doReceivedAction() override;
};

}  // namespace quarn
