#pragma once

#include <memory>

namespace quarn {

class DownloadEngine;
class DownloadSources;

// The makers of downloads from torrent files, magnet links and Metalink
// documents, in the order arguments are tried against them.
std::shared_ptr<DownloadSources> makeDownloadSources();

// Plugs every protocol into a new engine: the commands that start each kind
// of download and the services the protocols share.
void installProtocols(DownloadEngine& engine);

}  // namespace quarn
