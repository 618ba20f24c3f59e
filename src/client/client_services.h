#pragma once

namespace quarn {

class DownloadEngine;

// Plugs the HTTP, FTP and SFTP client into an engine: URI downloads start with
// the command that picks a URI, and each scheme gets its connection command.
void installClient(DownloadEngine& engine);

}  // namespace quarn
