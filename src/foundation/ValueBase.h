#pragma once

namespace quarn {

class ValueBaseVisitor;

// A node of the value tree that every structured document is read into and written from.
class ValueBase {
 public:
  virtual ~ValueBase() = default;
  virtual void accept(ValueBaseVisitor& visitor) const = 0;
};

}  // namespace quarn
