#pragma once

#include <memory>
#include <typeindex>
#include <unordered_map>

namespace quarn {

// Something a protocol keeps for the whole run and shares among its commands
// (the cookie store, the credential factory, a torrent registry). The engine
// owns it without knowing what it is, so that adding a protocol never means
// teaching the engine a new type.
class EngineService {
 public:
  virtual ~EngineService() = default;
};

// The engine's services, one per key type. A service is stored under the type
// it is asked for by, which may be an interface it implements.
class EngineServices {
 public:
  template <class T>
  void set(std::unique_ptr<T> service) {
    services_[std::type_index(typeid(T))] = std::move(service);
  }

  template <class T>
  T* get() const {
    auto it = services_.find(std::type_index(typeid(T)));
    return it == services_.end() ? nullptr : static_cast<T*>(it->second.get());
  }

  void clear() { services_.clear(); }

 private:
  std::unordered_map<std::type_index, std::unique_ptr<EngineService>> services_;
};

}  // namespace quarn
