#include "foundation/Dict.h"

#include "foundation/String.h"

namespace quarn {

void Dict::put(std::string key, std::unique_ptr<ValueBase> value) {
  dict_.insert_or_assign(std::move(key), std::move(value));
}

void Dict::put(std::string key, std::string string) {
  put(std::move(key), String::g(std::move(string)));
}

ValueBase* Dict::get(const std::string& key) const {
  auto it = dict_.find(key);
  return it == dict_.end() ? nullptr : it->second.get();
}

std::unique_ptr<ValueBase> Dict::popValue(const std::string& key) {
  auto it = dict_.find(key);
  if (it == dict_.end()) {
    return nullptr;
  }
  auto value = std::move(it->second);
  dict_.erase(it);
  return value;
}

}  // namespace quarn
