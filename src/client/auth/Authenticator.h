#pragma once

#include <string>

#include "client/auth/Authenticatable.h"

namespace quarn {

// One "machine" entry of a netrc file.
class Authenticator : public Authenticatable {
 public:
  Authenticator() = default;
  Authenticator(std::string machine, std::string login, std::string password, std::string account);

  // The host equals the machine, or lies under a machine that starts with ".".
  bool match(const std::string& hostname) const override;

  const std::string& getMachine() const { return machine_; }
  void setMachine(std::string machine) { machine_ = std::move(machine); }
  const std::string& getLogin() const { return login_; }
  void setLogin(std::string login) { login_ = std::move(login); }
  const std::string& getPassword() const { return password_; }
  void setPassword(std::string password) { password_ = std::move(password); }
  const std::string& getAccount() const { return account_; }
  void setAccount(std::string account) { account_ = std::move(account); }

 private:
  std::string machine_;
  std::string login_;
  std::string password_;
  std::string account_;
};

}  // namespace quarn
