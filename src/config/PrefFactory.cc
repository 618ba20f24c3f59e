#include "config/PrefFactory.h"

#include <cstdio>
#include <cstdlib>

#include "config/prefs.h"

namespace quarn {

PrefFactory::PrefFactory() : count_(0) {
  makePref("");
}

PrefFactory::~PrefFactory() {
  for (auto p : i2p_) {
    delete p;
  }
}

const Pref* PrefFactory::makePref(const char* name) {
  auto pref = new Pref{name, count_++};
  i2p_.push_back(pref);
  k2p_[name] = pref;
  return pref;
}

const Pref* PrefFactory::i2p(size_t id) const {
  if (id >= count_) {
    std::fputs("Assertion failed: id < count_\n", stderr);
    std::abort();
  }
  return i2p_[id];
}

const Pref* PrefFactory::k2p(const std::string& name) const {
  auto i = k2p_.find(name);
  return i == k2p_.end() ? i2p_[0] : i->second;
}

namespace {
PrefFactory*& factoryInstance() {
  static PrefFactory* factory = nullptr;
  return factory;
}
}  // namespace

PrefFactory* getPrefFactory() {
  auto& factory = factoryInstance();
  if (!factory) {
    factory = new PrefFactory();
  }
  return factory;
}

namespace option {

void deletePrefResource() {
  auto& factory = factoryInstance();
  delete factory;
  factory = nullptr;
}

}  // namespace option

}  // namespace quarn
