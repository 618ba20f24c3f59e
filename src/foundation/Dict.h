#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>

#include "foundation/ValueBase.h"

namespace quarn {

// Members kept in ascending unsigned byte order of their keys (std::string's ordering).
class Dict : public ValueBase {
 public:
  using ValueType = std::map<std::string, std::unique_ptr<ValueBase>>;

  static std::unique_ptr<Dict> g() { return std::make_unique<Dict>(); }

  void put(std::string key, std::unique_ptr<ValueBase> value);
  void put(std::string key, std::string string);

  // Empty when the key is absent.
  ValueBase* get(const std::string& key) const;
  ValueBase* operator[](const std::string& key) const { return get(key); }

  bool containsKey(const std::string& key) const { return dict_.count(key) != 0; }
  void removeKey(const std::string& key) { dict_.erase(key); }
  std::unique_ptr<ValueBase> popValue(const std::string& key);

  ValueType::iterator begin() { return dict_.begin(); }
  ValueType::iterator end() { return dict_.end(); }
  ValueType::const_iterator begin() const { return dict_.begin(); }
  ValueType::const_iterator end() const { return dict_.end(); }
  ValueType::const_iterator cbegin() const { return dict_.cbegin(); }
  ValueType::const_iterator cend() const { return dict_.cend(); }

  size_t size() const { return dict_.size(); }
  bool empty() const { return dict_.empty(); }

  void accept(ValueBaseVisitor& visitor) const override;

 private:
  ValueType dict_;
};

}  // namespace quarn
