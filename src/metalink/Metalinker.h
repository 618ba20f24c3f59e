#pragma once

#include <memory>
#include <string>
#include <vector>

namespace quarn {

class MetalinkEntry;

// The files of one Metalink document, in document order.
class Metalinker {
 public:
  Metalinker();
  ~Metalinker();
  Metalinker(const Metalinker&) = delete;
  Metalinker& operator=(const Metalinker&) = delete;

  void addEntry(std::unique_ptr<MetalinkEntry> entry);
  // Moves out the entries matching all three filters, in document order; an
  // empty filter matches every entry.
  std::vector<std::unique_ptr<MetalinkEntry>> queryEntry(const std::string& version,
                                                         const std::string& language,
                                                         const std::string& os);
  const std::vector<std::unique_ptr<MetalinkEntry>>& getEntries() const { return entries_; }

 private:
  std::vector<std::unique_ptr<MetalinkEntry>> entries_;
};

}  // namespace quarn
