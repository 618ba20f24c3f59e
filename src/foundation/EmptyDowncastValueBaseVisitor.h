#pragma once

#include "foundation/ValueBaseVisitor.h"

namespace quarn {

// A visitor that ignores every kind; downcasts override the one kind they want.
class EmptyDowncastValueBaseVisitor : public ValueBaseVisitor {
 public:
  void visit(const String&) override {}
  void visit(const Integer&) override {}
  void visit(const Bool&) override {}
  void visit(const Null&) override {}
  void visit(const List&) override {}
  void visit(const Dict&) override {}
};

}  // namespace quarn
