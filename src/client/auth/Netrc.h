#pragma once

#include <memory>
#include <string>
#include <vector>

#include "client/auth/Authenticator.h"

namespace quarn {

class BufferedFile;

// The entries of a netrc file, in file order.
class Netrc {
 public:
  Netrc();
  ~Netrc();
  Netrc(const Netrc&) = delete;
  Netrc& operator=(const Netrc&) = delete;

  // Replaces the entries with those of the file; throws DlAbortEx when it
  // cannot be opened, read or parsed.
  void parse(const std::string& path);

  void addAuthenticator(std::unique_ptr<Authenticator> authenticator);
  // Appends the entry unless it is null.
  void storeAuthenticator(std::unique_ptr<Authenticator> authenticator);
  // The first entry, in file order, that matches the host, or null.
  const Authenticator* findAuthenticator(const std::string& hostname) const;
  const std::vector<std::unique_ptr<Authenticator>>& getAuthenticators() const {
    return authenticators_;
  }

 private:
  void skipMacro(BufferedFile& fp);

  std::vector<std::unique_ptr<Authenticator>> authenticators_;
};

}  // namespace quarn
