#include "rpc/RpcResponse.h"

#include <sstream>

#include "foundation/Dict.h"
#include "foundation/GZipEncoder.h"
#include "foundation/Integer.h"
#include "foundation/List.h"
#include "foundation/Null.h"
#include "foundation/String.h"
#include "foundation/ValueBaseVisitor.h"
#include "foundation/json.h"
#include "foundation/util_chars.h"

namespace quarn {
namespace rpc {

namespace {

// XML-RPC has no form for true/false or null here: such values are left out.
class XmlValueBaseVisitor : public ValueBaseVisitor {
 public:
  explicit XmlValueBaseVisitor(std::string& out) : out_(out) {}

  void visit(const String& v) override {
    out_ += "<value><string>";
    out_ += util::htmlEscape(v.s());
    out_ += "</string></value>";
  }
  void visit(const Integer& v) override {
    out_ += "<value><int>";
    out_ += std::to_string(v.i());
    out_ += "</int></value>";
  }
  void visit(const Bool&) override {}
  void visit(const Null&) override {}
  void visit(const List& list) override {
    out_ += "<value><array><data>";
    for (const auto& e : list) {
      e->accept(*this);
    }
    out_ += "</data></array></value>";
  }
  void visit(const Dict& dict) override {
    out_ += "<value><struct>";
    for (const auto& [key, value] : dict) {
      out_ += "<member><name>";
      out_ += util::htmlEscape(key);
      out_ += "</name>";
      value->accept(*this);
      out_ += "</member>";
    }
    out_ += "</struct></value>";
  }

 private:
  std::string& out_;
};

std::string compress(const std::string& text) {
  GZipEncoder encoder;
  encoder.init();
  encoder << text;
  return encoder.str();
}

std::string finish(std::string text, bool gzip) {
  return gzip ? compress(text) : text;
}

void appendJson(std::string& out, const RpcResponse& r) {
  out += "{\"id\":";
  if (r.id) {
    out += json::encode(r.id.get());
  } else {
    out += "null";
  }
  out += ",\"jsonrpc\":\"2.0\",";
  out += r.code == 0 ? "\"result\":" : "\"error\":";
  if (r.param) {
    out += json::encode(r.param.get());
  } else {
    out += "null";
  }
  out += "}";
}

std::string wrap(const std::string& callback, std::string body) {
  if (callback.empty()) {
    return body;
  }
  return callback + "(" + body + ")";
}

}  // namespace

std::string toJson(const RpcResponse& response, const std::string& callback, bool gzip) {
  std::string body;
  appendJson(body, response);
  return finish(wrap(callback, std::move(body)), gzip);
}

std::string toJsonBatch(const std::vector<RpcResponse>& responses, const std::string& callback,
                        bool gzip) {
  std::string body = "[";
  bool first = true;
  for (const auto& r : responses) {
    if (!first) {
      body += ",";
    }
    first = false;
    appendJson(body, r);
  }
  body += "]";
  return finish(wrap(callback, std::move(body)), gzip);
}

std::string toXml(const RpcResponse& response, bool gzip) {
  std::string out = "<?xml version=\"1.0\"?><methodResponse>";
  XmlValueBaseVisitor visitor(out);
  if (response.code == 0) {
    out += "<params><param>";
    if (response.param) {
      response.param->accept(visitor);
    }
    out += "</param></params>";
  } else {
    out += "<fault>";
    if (response.param) {
      response.param->accept(visitor);
    }
    out += "</fault>";
  }
  out += "</methodResponse>";
  return finish(std::move(out), gzip);
}

}  // namespace rpc
}  // namespace quarn
