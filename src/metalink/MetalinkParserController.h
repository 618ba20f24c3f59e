#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quarn {

class Checksum;
class ChunkChecksum;
class MetalinkEntry;
class MetalinkMetaurl;
class MetalinkResource;
class Metalinker;
class Signature;

// Builds a Metalinker from the parser's calls, one transaction per object: an
// element opens it, its attributes and text fill it, its end commits or drops
// it. Calls for an object that is not open are ignored, so content the parser
// rejected simply leaves nothing behind.
class MetalinkParserController {
 public:
  MetalinkParserController();
  ~MetalinkParserController();
  MetalinkParserController(const MetalinkParserController&) = delete;
  MetalinkParserController& operator=(const MetalinkParserController&) = delete;

  // A fresh, empty result; open objects stay as they are.
  void reset();
  std::unique_ptr<Metalinker> getResult();
  void setBaseUri(std::string baseUri) { baseUri_ = std::move(baseUri); }

  void newEntryTransaction();
  void setFileNameOfEntry(std::string filename);
  void setFileLengthOfEntry(int64_t length);
  void setVersionOfEntry(std::string version);
  void setLanguageOfEntry(std::string language);
  void setOSOfEntry(std::string os);
  void setMaxConnectionsOfEntry(int32_t maxConnections);
  void commitEntryTransaction();
  void cancelEntryTransaction();

  void newResourceTransaction();
  void setURLOfResource(std::string url);
  void setTypeOfResource(std::string type);
  void setLocationOfResource(std::string location);
  void setPriorityOfResource(int32_t priority);
  void setMaxConnectionsOfResource(int32_t maxConnections);
  void commitResourceTransaction();
  void cancelResourceTransaction();

  void newMetaurlTransaction();
  void setURLOfMetaurl(std::string url);
  void setMediatypeOfMetaurl(std::string mediatype);
  void setPriorityOfMetaurl(int32_t priority);
  void setNameOfMetaurl(std::string name);
  void commitMetaurlTransaction();
  void cancelMetaurlTransaction();

  void newChecksumTransaction();
  void setTypeOfChecksum(std::string type);
  void setHashOfChecksum(std::string md);
  void commitChecksumTransaction();
  void cancelChecksumTransaction();

  // Piece hashes of the current format, listed in piece order.
  void newChunkChecksumTransactionV4();
  void setTypeOfChunkChecksumV4(std::string type);
  void setLengthOfChunkChecksumV4(size_t length);
  void addHashOfChunkChecksumV4(std::string md);
  void commitChunkChecksumTransactionV4();
  void cancelChunkChecksumTransactionV4();

  // Piece hashes of the older format, each with its piece index.
  void newChunkChecksumTransaction();
  void setTypeOfChunkChecksum(std::string type);
  void setLengthOfChunkChecksum(size_t length);
  void createNewHashOfChunkChecksum(size_t order);
  void setMessageDigestOfChunkChecksum(std::string md);
  void addHashOfChunkChecksum();
  void commitChunkChecksumTransaction();
  void cancelChunkChecksumTransaction();

  void newSignatureTransaction();
  void setTypeOfSignature(std::string type);
  void setFileOfSignature(std::string file);
  void setBodyOfSignature(std::string body);
  void commitSignatureTransaction();
  void cancelSignatureTransaction();

 private:
  // A URL resolved against the base URI, or the text itself when the result
  // is no URI.
  std::string resolve(const std::string& url) const;
  // The canonical name of a supported hash type, empty otherwise.
  static std::string supportedHashType(const std::string& type);

  std::unique_ptr<Metalinker> metalinker_;
  std::unique_ptr<MetalinkEntry> tEntry_;
  std::unique_ptr<MetalinkResource> tResource_;
  std::unique_ptr<MetalinkMetaurl> tMetaurl_;
  std::unique_ptr<Checksum> tChecksum_;
  std::unique_ptr<ChunkChecksum> tChunkChecksumV4_;
  std::vector<std::string> tempChunkChecksumsV4_;
  std::unique_ptr<ChunkChecksum> tChunkChecksum_;
  std::vector<std::pair<size_t, std::string>> tempChunkChecksums_;
  std::pair<size_t, std::string> tempHashPair_;
  std::unique_ptr<Signature> tSignature_;
  std::string baseUri_;
};

}  // namespace quarn
