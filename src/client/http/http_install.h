#pragma once

namespace quarn {

class DownloadEngine;

// Registers the connection command of "http" and "https" URIs.
void installHttp(DownloadEngine& engine);

}  // namespace quarn
