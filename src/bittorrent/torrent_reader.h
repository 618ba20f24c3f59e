#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bittorrent/TorrentAttribute.h"

namespace quarn {

class DownloadContext;
class Option;
class ValueBase;

namespace bittorrent {

// Readers of a torrent metainfo document into ctx: file entries, piece length
// and hashes, and the TorrentAttribute with the rest. A document that cannot
// be used raises DlAbortEx with code 26 (25 for a buffer that is not bencode).
// uris are extra web seeds; overrideName, when not empty, replaces the name;
// defaultName names a torrent without a usable name.
void load(const std::string& torrentFile, const std::shared_ptr<DownloadContext>& ctx,
          const std::shared_ptr<Option>& option, const std::string& overrideName = "");
void load(const std::string& torrentFile, const std::shared_ptr<DownloadContext>& ctx,
          const std::shared_ptr<Option>& option, const std::vector<std::string>& uris,
          const std::string& overrideName = "");
void loadFromMemory(std::string_view data, const std::shared_ptr<DownloadContext>& ctx,
                    const std::shared_ptr<Option>& option, const std::string& defaultName,
                    const std::string& overrideName = "");
void loadFromMemory(std::string_view data, const std::shared_ptr<DownloadContext>& ctx,
                    const std::shared_ptr<Option>& option, const std::vector<std::string>& uris,
                    const std::string& defaultName, const std::string& overrideName = "");
void loadFromMemory(const ValueBase* root, const std::shared_ptr<DownloadContext>& ctx,
                    const std::shared_ptr<Option>& option, const std::vector<std::string>& uris,
                    const std::string& defaultName, const std::string& overrideName = "");

// The context's TorrentAttribute; throws DlAbortEx when it has none.
TorrentAttribute* getTorrentAttrs(const DownloadContext* ctx);
TorrentAttribute* getTorrentAttrs(const std::shared_ptr<DownloadContext>& ctx);
const unsigned char* getInfoHash(const DownloadContext* ctx);
const unsigned char* getInfoHash(const std::shared_ptr<DownloadContext>& ctx);
// 40 lower-case hexadecimal digits.
std::string getInfoHashString(const DownloadContext* ctx);
std::string getInfoHashString(const std::shared_ptr<DownloadContext>& ctx);

}  // namespace bittorrent
}  // namespace quarn
