#include "foundation/List.h"

#include "foundation/String.h"

namespace quarn {

void List::append(std::unique_ptr<ValueBase> value) {
  list_.push_back(std::move(value));
}

void List::append(std::string string) {
  list_.push_back(String::g(std::move(string)));
}

List& List::operator<<(std::unique_ptr<ValueBase> value) {
  append(std::move(value));
  return *this;
}

void List::set(size_t index, std::unique_ptr<ValueBase> value) {
  list_[index] = std::move(value);
}

}  // namespace quarn
