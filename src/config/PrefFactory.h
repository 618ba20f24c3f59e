#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "config/Pref.h"

namespace quarn {

// The registry of every option identity; ids are handed out in registration
// order, starting with the nil Pref (empty name, id 0).
class PrefFactory {
 public:
  PrefFactory();
  ~PrefFactory();
  PrefFactory(const PrefFactory&) = delete;
  PrefFactory& operator=(const PrefFactory&) = delete;

  const Pref* makePref(const char* name);
  size_t getCount() const { return count_; }
  const Pref* i2p(size_t id) const;
  const Pref* k2p(const std::string& name) const;

 private:
  size_t count_;
  std::vector<const Pref*> i2p_;
  std::map<std::string, const Pref*> k2p_;
};

// The process-wide registry, created on first use so that it exists before any
// static initialiser that registers a name runs.
PrefFactory* getPrefFactory();

}  // namespace quarn
