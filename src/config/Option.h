#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "config/Pref.h"

namespace quarn {

// The values of every option for one scope, kept as text and indexed by Pref
// id. A lookup that this scope does not answer continues in the parent.
class Option {
 public:
  Option();

  void put(const Pref* pref, const std::string& value);
  void removeLocal(const Pref* pref);
  // Undefines the option here and in every ancestor.
  void remove(const Pref* pref);
  // Copies what `option` defines itself; its parents are not consulted.
  void merge(const Option& option);

  void setParent(const std::shared_ptr<Option>& parent) { parent_ = parent; }
  const std::shared_ptr<Option>& getParent() const { return parent_; }

  bool defined(const Pref* pref) const;
  const std::string& get(const Pref* pref) const;
  bool blank(const Pref* pref) const;
  bool getAsBool(const Pref* pref) const;
  int32_t getAsInt(const Pref* pref) const;
  int64_t getAsLLInt(const Pref* pref) const;
  double getAsDouble(const Pref* pref) const;

  bool definedLocal(const Pref* pref) const;
  bool emptyLocal() const;

 private:
  bool bitSet(size_t index) const;
  void setBit(size_t index);
  void unsetBit(size_t index);
  // The nearest Option of the chain that defines the id, or null.
  const Option* findDefining(size_t index) const;

  std::vector<std::string> table_;
  std::vector<unsigned char> use_;
  std::shared_ptr<Option> parent_;
};

}  // namespace quarn
