#include "foundation/bencode2.h"

#include <sstream>

#include "foundation/BencodeParser.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DowncastValueBaseVisitor.h"
#include "foundation/GenericParser.h"
#include "foundation/ValueBaseStructParserStateMachine.h"

namespace quarn {
namespace bencode2 {

namespace {

class BencodeValueBaseVisitor : public ValueBaseVisitor {
 public:
  explicit BencodeValueBaseVisitor(std::ostringstream& out) : out_(out) {}

  void visit(const String& string) override { writeString(string.s()); }
  void visit(const Integer& integer) override { out_ << "i" << integer.i() << "e"; }
  void visit(const Bool&) override {}
  void visit(const Null&) override {}
  void visit(const List& list) override {
    out_ << "l";
    for (const auto& element : list) {
      element->accept(*this);
    }
    out_ << "e";
  }
  void visit(const Dict& dict) override {
    out_ << "d";
    for (const auto& [key, value] : dict) {
      // A key without its value would leave the output undecodable.
      if (valueAs<Bool>(value.get()) || valueAs<Null>(value.get())) {
        continue;
      }
      writeString(key);
      value->accept(*this);
    }
    out_ << "e";
  }

 private:
  void writeString(const std::string& s) { out_ << s.size() << ":" << s; }

  std::ostringstream& out_;
};

}  // namespace

std::unique_ptr<ValueBase> decode(const unsigned char* data, size_t length, size_t& end) {
  GenericParser<bittorrent::BencodeParser, ValueBaseStructParserStateMachine> parser;
  ssize_t error;
  auto result = parser.parseFinal(reinterpret_cast<const char*>(data), length, error);
  if (error < 0) {
    throw DL_ABORT_EX("Bencode decoding failed: error=" + std::to_string(error),
                      error_code::BENCODE_PARSE_ERROR);
  }
  end = static_cast<size_t>(error);
  return result;
}

std::unique_ptr<ValueBase> decode(const unsigned char* data, size_t length) {
  size_t end;
  return decode(data, length, end);
}

std::unique_ptr<ValueBase> decode(const std::string& data) {
  size_t end;
  return decode(reinterpret_cast<const unsigned char*>(data.data()), data.size(), end);
}

std::string encode(const ValueBase* value) {
  std::ostringstream out;
  BencodeValueBaseVisitor visitor(out);
  value->accept(visitor);
  return out.str();
}

}  // namespace bencode2
}  // namespace quarn
