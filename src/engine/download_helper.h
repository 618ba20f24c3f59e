#pragma once

#include <memory>
#include <string>
#include <vector>

namespace quarn {

class DownloadContext;
class DownloadSources;
class GroupId;
class MetadataInfo;
class Option;
class RequestGroup;
class UriListParser;

// Makes downloads from a list of arguments: the stream URIs together become
// one download spread over the connections, every other argument is made
// into downloads on its own by the first of `sources` that takes it. With throwOnError an argument
// that fails stops the whole call.
void createRequestGroupForUri(std::vector<std::shared_ptr<RequestGroup>>& result,
                              const std::shared_ptr<Option>& option,
                              const std::vector<std::string>& uris,
                              bool ignoreForceSequential = false, bool ignoreLocalPath = false,
                              bool throwOnError = false, const DownloadSources* sources = nullptr);

// Makes the downloads of the next input-list entry that yields any; false once
// the list is exhausted.
bool createRequestGroupFromUriListParser(std::vector<std::shared_ptr<RequestGroup>>& result,
                                         const Option* option, UriListParser* uriListParser,
                                         const DownloadSources* sources = nullptr);

std::shared_ptr<UriListParser> openUriListParser(const std::string& filename);

// Makes the downloads of every entry of the input list named by "input-file".
void createRequestGroupForUriList(std::vector<std::shared_ptr<RequestGroup>>& result,
                                  const std::shared_ptr<Option>& option,
                                  const DownloadSources* sources = nullptr);

std::shared_ptr<MetadataInfo> createMetadataInfoFromFirstFileEntry(
    const std::shared_ptr<GroupId>& gid, const std::shared_ptr<DownloadContext>& dctx);

// The id that the option "gid" asks for, or a new one; DlAbortEx when that id
// is malformed or taken.
std::shared_ptr<GroupId> getGID(const std::shared_ptr<Option>& option);

// The common tail of every maker of a download: the group takes the context,
// the pause request of "pause" under the control server, and loses the
// one-shot options.
void finishRequestGroup(const std::shared_ptr<RequestGroup>& group,
                        const std::shared_ptr<DownloadContext>& dctx);

// Every argument expanded by its parameters ("{a,b}", "[1-3]").
std::vector<std::string> unfoldURI(const std::vector<std::string>& args);

// Removes the options that only the downloads made at start-up may see.
void removeOneshotOption(const std::shared_ptr<Option>& option);

}  // namespace quarn
