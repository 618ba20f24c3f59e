#include "client/auth/Netrc.h"

#include <iterator>
#include <utility>

#include "client/auth/DefaultAuthenticator.h"
#include "foundation/BufferedFile.h"
#include "foundation/DlAbortEx.h"
#include "foundation/fmt.h"
#include "foundation/util_string.h"

namespace quarn {

namespace {

enum State { GET_TOKEN, SET_MACHINE, SET_LOGIN, SET_PASSWORD, SET_ACCOUNT, SET_MACDEF };

std::vector<std::string> tokenize(const std::string& line) {
  std::vector<std::pair<std::string::const_iterator, std::string::const_iterator>> items;
  util::splitIterM(line.begin(), line.end(), std::back_inserter(items), " \t", true);
  std::vector<std::string> tokens;
  for (const auto& item : items) {
    tokens.emplace_back(item.first, item.second);
  }
  return tokens;
}

}  // namespace

Netrc::Netrc() = default;

Netrc::~Netrc() = default;

void Netrc::addAuthenticator(std::unique_ptr<Authenticator> authenticator) {
  authenticators_.push_back(std::move(authenticator));
}

void Netrc::storeAuthenticator(std::unique_ptr<Authenticator> authenticator) {
  if (authenticator) {
    addAuthenticator(std::move(authenticator));
  }
}

const Authenticator* Netrc::findAuthenticator(const std::string& hostname) const {
  for (const auto& a : authenticators_) {
    if (a->match(hostname)) {
      return a.get();
    }
  }
  return nullptr;
}

// Discards the lines of a macro body, up to and including its blank line.
void Netrc::skipMacro(BufferedFile& fp) {
  while (true) {
    std::string line = fp.getLine();
    if (line.empty() && !fp.eof() && !fp) {
      throw DL_ABORT_EX("Netrc:I/O error.");
    }
    if (line.empty() || line[0] == '\r' || line[0] == '\n') {
      return;
    }
  }
}

void Netrc::parse(const std::string& path) {
  authenticators_.clear();
  BufferedFile fp(path.c_str(), IOFile::READ);
  if (!fp) {
    throw DL_ABORT_EX(fmt("Cannot open file: %s", path.c_str()));
  }
  State state = GET_TOKEN;
  std::unique_ptr<Authenticator> entry;
  while (true) {
    std::string line = fp.getLine();
    if (line.empty()) {
      if (fp.eof()) {
        break;
      }
      if (!fp) {
        throw DL_ABORT_EX("Netrc:I/O error.");
      }
      continue;
    }
    if (line[0] == '#') {
      continue;
    }
    for (auto& token : tokenize(line)) {
      switch (state) {
        case GET_TOKEN:
          if (token == "machine") {
            storeAuthenticator(std::move(entry));
            entry = std::make_unique<Authenticator>();
            state = SET_MACHINE;
          } else if (token == "default") {
            storeAuthenticator(std::move(entry));
            entry = std::make_unique<DefaultAuthenticator>();
          } else if (!entry) {
            throw DL_ABORT_EX(
                fmt("Netrc:parse error. %s encountered where 'machine' or "
                    "'default' expected.",
                    token.c_str()));
          } else if (token == "login") {
            state = SET_LOGIN;
          } else if (token == "password") {
            state = SET_PASSWORD;
          } else if (token == "account") {
            state = SET_ACCOUNT;
          } else if (token == "macdef") {
            state = SET_MACDEF;
          }
          break;
        case SET_MACHINE:
          entry->setMachine(std::move(token));
          state = GET_TOKEN;
          break;
        case SET_LOGIN:
          entry->setLogin(std::move(token));
          state = GET_TOKEN;
          break;
        case SET_PASSWORD:
          entry->setPassword(std::move(token));
          state = GET_TOKEN;
          break;
        case SET_ACCOUNT:
          entry->setAccount(std::move(token));
          state = GET_TOKEN;
          break;
        case SET_MACDEF:
          skipMacro(fp);
          state = GET_TOKEN;
          break;
      }
    }
  }
  if (state != GET_TOKEN) {
    throw DL_ABORT_EX("Netrc:parse error. EOF reached where a token expected.");
  }
  storeAuthenticator(std::move(entry));
}

}  // namespace quarn
