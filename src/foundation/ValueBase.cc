#include "foundation/ValueBase.h"

#include "foundation/Bool.h"
#include "foundation/Dict.h"
#include "foundation/Integer.h"
#include "foundation/List.h"
#include "foundation/Null.h"
#include "foundation/String.h"
#include "foundation/ValueBaseVisitor.h"

namespace quarn {

void String::accept(ValueBaseVisitor& visitor) const {
  visitor.visit(*this);
}
void Integer::accept(ValueBaseVisitor& visitor) const {
  visitor.visit(*this);
}
void Bool::accept(ValueBaseVisitor& visitor) const {
  visitor.visit(*this);
}
void Null::accept(ValueBaseVisitor& visitor) const {
  visitor.visit(*this);
}
void List::accept(ValueBaseVisitor& visitor) const {
  visitor.visit(*this);
}
void Dict::accept(ValueBaseVisitor& visitor) const {
  visitor.visit(*this);
}

}  // namespace quarn
