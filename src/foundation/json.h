#pragma once

#include <string>

#include "foundation/DowncastValueBaseVisitor.h"
#include "foundation/ValueBaseVisitor.h"

namespace quarn {
namespace json {

// Text with the JSON escapes applied, without surrounding quotation marks.
std::string jsonEscape(const std::string& s);

// Writes a value tree as compact JSON into anything that takes text through operator<<.
template <typename OutputStream>
class JsonValueBaseVisitor : public ValueBaseVisitor {
 public:
  explicit JsonValueBaseVisitor(OutputStream& out) : out_(out) {}

  void visit(const String& string) override { out_ << "\"" << jsonEscape(string.s()) << "\""; }
  void visit(const Integer& integer) override { out_ << std::to_string(integer.i()); }
  void visit(const Bool& boolValue) override { out_ << (boolValue.val() ? "true" : "false"); }
  void visit(const Null&) override { out_ << "null"; }
  void visit(const List& list) override {
    out_ << "[";
    bool first = true;
    for (const auto& element : list) {
      if (!first) {
        out_ << ",";
      }
      first = false;
      element->accept(*this);
    }
    out_ << "]";
  }
  void visit(const Dict& dict) override {
    out_ << "{";
    bool first = true;
    for (const auto& [key, value] : dict) {
      if (!first) {
        out_ << ",";
      }
      first = false;
      out_ << "\"" << jsonEscape(key) << "\":";
      value->accept(*this);
    }
    out_ << "}";
  }

 private:
  OutputStream& out_;
};

template <typename OutputStream>
OutputStream& encode(OutputStream& out, const ValueBase* value) {
  JsonValueBaseVisitor<OutputStream> visitor(out);
  value->accept(visitor);
  return out;
}

std::string encode(const ValueBase* value);

// The request text and the JSONP callback name of a JSON-RPC GET request.
struct JsonGetParam {
  std::string request;
  std::string callback;
};

JsonGetParam decodeGetParams(const std::string& query);

}  // namespace json
}  // namespace quarn
