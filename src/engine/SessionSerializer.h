#pragma once

#include <string>

namespace quarn {

class IOFile;
class RequestGroupMan;

// Writes the downloads still to be done in the input-list format, so that a
// later run reading the file as its input list picks them up again.
class SessionSerializer {
 public:
  explicit SessionSerializer(RequestGroupMan* requestGroupMan);

  // Writes through a temporary file (gzip when the name ends in ".gz") that
  // replaces the file only when complete. Both are readable by the owner
  // only: per-download options may hold passwords.
  bool save(const std::string& filename) const;
  bool save(IOFile& fp) const;
  // The SHA-1 of the session text; empty when it could not be written.
  std::string calculateHash() const;

 private:
  RequestGroupMan* rgman_;
  bool saveError_;
  bool saveInProgress_;
  bool saveWaiting_;
};

}  // namespace quarn
