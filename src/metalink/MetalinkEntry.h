#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quarn {

class Checksum;
class ChunkChecksum;
class FileEntry;
class MetalinkMetaurl;
class MetalinkResource;
class Signature;

// One file of a Metalink document: where it goes, what describes it, where to
// fetch it and how to verify it.
class MetalinkEntry {
 public:
  MetalinkEntry();
  ~MetalinkEntry();
  MetalinkEntry(const MetalinkEntry&) = delete;
  MetalinkEntry& operator=(const MetalinkEntry&) = delete;

  // Both require the file to be set.
  const std::string& getPath() const;
  int64_t getLength() const;

  // Adds priorityToAdd to the mirrors whose location is one of locations,
  // ignoring ASCII case: users type "jp" for a document's "JP".
  void setLocationPriority(const std::vector<std::string>& locations, int32_t priorityToAdd);
  // Adds priorityToAdd to the mirrors whose type name is protocol.
  void setProtocolPriority(const std::string& protocol, int32_t priorityToAdd);
  // Random order among mirrors of equal priority, best priority first.
  void reorderResourcesByPriority();
  void reorderMetaurlsByPriority();
  void dropUnsupportedResource();
  bool containsLanguage(const std::string& language) const;
  bool containsOS(const std::string& os) const;

  void setSignature(std::unique_ptr<Signature> signature);
  std::unique_ptr<Signature> popSignature();
  std::unique_ptr<FileEntry> popFile();

  // Moves the file out of every entry, in order.
  static std::vector<std::unique_ptr<FileEntry>> toFileEntry(
      std::vector<std::unique_ptr<MetalinkEntry>> entries);

  std::unique_ptr<FileEntry> file;
  std::string version;
  std::vector<std::string> languages;
  std::vector<std::string> oses;
  bool sizeKnown = false;
  std::vector<std::unique_ptr<MetalinkResource>> resources;
  std::vector<std::unique_ptr<MetalinkMetaurl>> metaurls;
  // From the resources element of the older format; -1 when not given.
  int32_t maxConnections = -1;
  std::unique_ptr<Checksum> checksum;
  std::unique_ptr<ChunkChecksum> chunkChecksum;

 private:
  std::unique_ptr<Signature> signature_;
};

}  // namespace quarn
