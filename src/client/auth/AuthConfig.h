#pragma once

#include <memory>
#include <string>

namespace quarn {

// One user name and password to send.
class AuthConfig {
 public:
  AuthConfig(std::string user, std::string password);

  // Null when the user name is empty.
  static std::unique_ptr<AuthConfig> create(std::string user, std::string password);

  const std::string& getUser() const { return user_; }
  const std::string& getPassword() const { return password_; }
  // "user:password", the text Basic authentication encodes.
  std::string getAuthText() const { return user_ + ":" + password_; }

 private:
  std::string user_;
  std::string password_;
};

}  // namespace quarn
