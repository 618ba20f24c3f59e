#pragma once

#include <memory>
#include <string>
#include <vector>

namespace quarn {

class DownloadContext;
class GroupId;
class MetadataInfo;
class Option;
class RequestGroup;
class UriListParser;
class ValueBase;

// Makes downloads from a list of arguments: the stream URIs together become
// one download spread over the connections, every other argument is made
// into downloads on its own. With throwOnError an argument that fails stops
// the whole call.
void createRequestGroupForUri(std::vector<std::shared_ptr<RequestGroup>>& result,
                              const std::shared_ptr<Option>& option,
                              const std::vector<std::string>& uris,
                              bool ignoreForceSequential = false, bool ignoreLocalPath = false,
                              bool throwOnError = false);

// Makes one torrent download from a parsed torrent, or from torrentData
// (bencoded) or, when that is empty, from the file metaInfoUri. uris are
// extra web seeds; adjustAnnounce applies "bt-tracker" and
// "bt-exclude-tracker".
void createRequestGroupForBitTorrent(std::vector<std::shared_ptr<RequestGroup>>& result,
                                     const std::shared_ptr<Option>& option,
                                     const std::vector<std::string>& uris,
                                     const std::string& metaInfoUri, const ValueBase* torrent,
                                     bool adjustAnnounce = true);
void createRequestGroupForBitTorrent(std::vector<std::shared_ptr<RequestGroup>>& result,
                                     const std::shared_ptr<Option>& option,
                                     const std::vector<std::string>& uris,
                                     const std::string& metaInfoUri,
                                     const std::string& torrentData = "",
                                     bool adjustAnnounce = true);

// Makes the downloads of the next input-list entry that yields any; false once
// the list is exhausted.
bool createRequestGroupFromUriListParser(std::vector<std::shared_ptr<RequestGroup>>& result,
                                         const Option* option, UriListParser* uriListParser);

std::shared_ptr<UriListParser> openUriListParser(const std::string& filename);

// Makes the downloads of every entry of the input list named by "input-file".
void createRequestGroupForUriList(std::vector<std::shared_ptr<RequestGroup>>& result,
                                  const std::shared_ptr<Option>& option);

std::shared_ptr<MetadataInfo> createMetadataInfoFromFirstFileEntry(
    const std::shared_ptr<GroupId>& gid, const std::shared_ptr<DownloadContext>& dctx);

// Removes the options that only the downloads made at start-up may see.
void removeOneshotOption(const std::shared_ptr<Option>& option);

}  // namespace quarn
