#pragma once

namespace quarn {

class DownloadEngine;

// Registers the connection command of "ftp" and "sftp" URIs, which share the
// connect path (proxies, pooled logins) and part ways after it.
void installFtp(DownloadEngine& engine);

}  // namespace quarn
