#include "metalink/Metalinker.h"

#include "metalink/MetalinkEntry.h"

namespace quarn {

Metalinker::Metalinker() = default;
Metalinker::~Metalinker() = default;

void Metalinker::addEntry(std::unique_ptr<MetalinkEntry> entry) {
  entries_.push_back(std::move(entry));
}

std::vector<std::unique_ptr<MetalinkEntry>> Metalinker::queryEntry(const std::string& version,
                                                                   const std::string& language,
                                                                   const std::string& os) {
  std::vector<std::unique_ptr<MetalinkEntry>> result;
  std::vector<std::unique_ptr<MetalinkEntry>> rest;
  for (auto& entry : entries_) {
    bool match = (version.empty() || entry->version == version) &&
                 (language.empty() || entry->containsLanguage(language)) &&
                 (os.empty() || entry->containsOS(os));
    (match ? result : rest).push_back(std::move(entry));
  }
  entries_ = std::move(rest);
  return result;
}

}  // namespace quarn
