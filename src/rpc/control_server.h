#pragma once

namespace quarn {

class DownloadEngine;
class Notifier;

namespace rpc {

// With "enable-rpc": opens the control server's listening ports (IPv4, and
// IPv6 unless disabled), and gives the engine the WebSocket session manager,
// registered with the notifier for download events. Raises when no port
// could be bound.
void setupControlServer(DownloadEngine* e, Notifier* notifier);

}  // namespace rpc
}  // namespace quarn
