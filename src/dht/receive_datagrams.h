#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace quarn {

class DHTConnection;
class DHTMessageReceiver;

namespace dht {

// Datagrams handled per event-loop turn. A flood must not keep the loop
// from everything else; what is left waits in the socket for the next turn.
inline constexpr size_t MAX_DATAGRAMS_PER_TURN = 128;

// Called with every datagram that is not a bencoded dictionary (UDP tracker
// replies share the socket).
using OtherDatagramHandler = std::function<void(const unsigned char* data, size_t length,
                                                const std::string& host, uint16_t port)>;

// Reads up to MAX_DATAGRAMS_PER_TURN datagrams: those starting with 'd' go
// to the DHT receiver, the others to other (when set). Returns how many were
// read; socket errors are thrown.
size_t receiveDatagrams(DHTConnection& connection, DHTMessageReceiver& receiver,
                        const OtherDatagramHandler& other);

}  // namespace dht
}  // namespace quarn
