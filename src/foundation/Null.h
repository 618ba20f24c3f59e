#pragma once

#include <memory>

#include "foundation/ValueBase.h"

namespace quarn {

class Null : public ValueBase {
 public:
  Null() = default;

  static std::unique_ptr<Null> g() { return std::make_unique<Null>(); }

  void accept(ValueBaseVisitor& visitor) const override;
};

}  // namespace quarn
