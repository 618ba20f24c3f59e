#include "metalink/MetalinkEntry.h"

#include <algorithm>
#include <limits>

#include "foundation/SimpleRandomizer.h"
#include "foundation/util_string.h"
#include "metalink/MetalinkMetaurl.h"
#include "metalink/MetalinkResource.h"
#include "storage/Checksum.h"
#include "storage/ChunkChecksum.h"
#include "storage/FileEntry.h"
#include "storage/Signature.h"

namespace quarn {

namespace {

struct PriorityHigher {
  template <typename T>
  bool operator()(const std::unique_ptr<T>& a, const std::unique_ptr<T>& b) const {
    return a->priority < b->priority;
  }
};

// Older documents may state preferences far above the usual range, which
// gives priorities far below 1; lowering those further must not overflow.
int32_t addPriority(int32_t priority, int32_t priorityToAdd) {
  int64_t sum = static_cast<int64_t>(priority) + priorityToAdd;
  return static_cast<int32_t>(std::clamp<int64_t>(sum, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

}  // namespace

MetalinkEntry::MetalinkEntry() = default;
MetalinkEntry::~MetalinkEntry() = default;

const std::string& MetalinkEntry::getPath() const {
  return file->getPath();
}

int64_t MetalinkEntry::getLength() const {
  return file->getLength();
}

void MetalinkEntry::setLocationPriority(const std::vector<std::string>& locations,
                                        int32_t priorityToAdd) {
  for (auto& res : resources) {
    if (std::any_of(locations.begin(), locations.end(),
                    [&](const std::string& loc) { return util::strieq(res->location, loc); })) {
      res->priority = addPriority(res->priority, priorityToAdd);
    }
  }
}

void MetalinkEntry::setProtocolPriority(const std::string& protocol, int32_t priorityToAdd) {
  for (auto& res : resources) {
    if (protocol == MetalinkResource::getTypeString(res->type)) {
      res->priority = addPriority(res->priority, priorityToAdd);
    }
  }
}

void MetalinkEntry::reorderResourcesByPriority() {
  std::shuffle(resources.begin(), resources.end(), *SimpleRandomizer::getInstance());
  std::sort(resources.begin(), resources.end(), PriorityHigher());
}

void MetalinkEntry::reorderMetaurlsByPriority() {
  std::sort(metaurls.begin(), metaurls.end(), PriorityHigher());
}

void MetalinkEntry::dropUnsupportedResource() {
  std::erase_if(resources, [](const std::unique_ptr<MetalinkResource>& res) {
    return !MetalinkResource::isSupported(res->type);
  });
}

bool MetalinkEntry::containsLanguage(const std::string& language) const {
  return std::find(languages.begin(), languages.end(), language) != languages.end();
}

bool MetalinkEntry::containsOS(const std::string& os) const {
  return std::find(oses.begin(), oses.end(), os) != oses.end();
}

void MetalinkEntry::setSignature(std::unique_ptr<Signature> signature) {
  signature_ = std::move(signature);
}

std::unique_ptr<Signature> MetalinkEntry::popSignature() {
  return std::move(signature_);
}

std::unique_ptr<FileEntry> MetalinkEntry::popFile() {
  return std::move(file);
}

std::vector<std::unique_ptr<FileEntry>> MetalinkEntry::toFileEntry(
    std::vector<std::unique_ptr<MetalinkEntry>> entries) {
  std::vector<std::unique_ptr<FileEntry>> result;
  result.reserve(entries.size());
  for (auto& entry : entries) {
    result.push_back(entry->popFile());
  }
  return result;
}

}  // namespace quarn
