#pragma once

#include <memory>

#include "foundation/Bool.h"
#include "foundation/Dict.h"
#include "foundation/EmptyDowncastValueBaseVisitor.h"
#include "foundation/Integer.h"
#include "foundation/List.h"
#include "foundation/Null.h"
#include "foundation/String.h"

namespace quarn {

// Records the visited node when it is of kind T.
template <typename T>
class DowncastValueBaseVisitor : public EmptyDowncastValueBaseVisitor {
 public:
  using EmptyDowncastValueBaseVisitor::visit;
  void visit(const T& value) override { result_ = &value; }
  const T* getResult() const { return result_; }

 private:
  const T* result_ = nullptr;
};

// The node as a T when its dynamic kind is T, otherwise empty.
template <typename T>
T* valueAs(const ValueBase* value) {
  if (!value) {
    return nullptr;
  }
  DowncastValueBaseVisitor<T> visitor;
  value->accept(visitor);
  return const_cast<T*>(visitor.getResult());
}

template <typename T>
T* valueAs(const std::unique_ptr<ValueBase>& value) {
  return valueAs<T>(value.get());
}

}  // namespace quarn
