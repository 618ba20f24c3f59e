#include "rpc/RpcMethod.h"

#include "config/Option.h"
#include "config/OptionHandler.h"
#include "config/OptionParser.h"
#include "config/prefs.h"
#include "engine/DownloadEngine.h"
#include "foundation/Dict.h"
#include "foundation/DlAbortEx.h"
#include "foundation/DowncastValueBaseVisitor.h"
#include "foundation/Integer.h"
#include "foundation/LogMacros.h"
#include "foundation/String.h"
#include "foundation/i18n.h"
#include "foundation/util_string.h"

namespace quarn {
namespace rpc {

namespace {

enum class Target { REQUEST, CHANGE, RESERVED, GLOBAL };

void applyValue(const OptionHandler* handler, Option* opt, const ValueBase* value) {
  if (const String* s = valueAs<String>(value)) {
    handler->parse(*opt, s->s());
  } else if (const List* list = valueAs<List>(value)) {
    if (!handler->getCumulative()) {
      return;
    }
    for (const auto& element : *list) {
      if (const String* s = valueAs<String>(element.get())) {
        handler->parse(*opt, s->s());
      }
    }
  }
}

}  // namespace

RpcMethod::RpcMethod() : optionParser_(OptionParser::getInstance()) {}

RpcMethod::~RpcMethod() = default;

std::unique_ptr<Dict> RpcMethod::createErrorResponse(const Exception& ex, const RpcRequest& req) {
  auto d = Dict::g();
  if (req.jsonRpc) {
    d->put("code", Integer::g(1));
    d->put("message", ex.what());
  } else {
    d->put("faultCode", Integer::g(1));
    d->put("faultString", ex.what());
  }
  return d;
}

void RpcMethod::authorize(RpcRequest& req, DownloadEngine* e) {
  std::string token;
  if (req.params && !req.params->empty()) {
    if (const String* s = valueAs<String>(req.params->get(0))) {
      if (util::startsWith(s->s(), "token:")) {
        token = s->s().substr(6);
        req.params->pop_front();
      }
    }
  }
  if (!e || !e->validateToken(token)) {
    throw DL_ABORT_EX("Unauthorized");
  }
}

RpcResponse RpcMethod::execute(RpcRequest req, DownloadEngine* e) {
  bool authorized = false;
  try {
    authorize(req, e);
    authorized = true;
    auto result = process(req, e);
    return RpcResponse(0, RpcResponse::AUTHORIZED, std::move(result), std::move(req.id));
  } catch (RecoverableException& ex) {
    QLOG_DEBUG_EX(_("Exception caught"), ex);
    return RpcResponse(1, authorized ? RpcResponse::AUTHORIZED : RpcResponse::NOTAUTHORIZED,
                       createErrorResponse(ex, req), std::move(req.id));
  }
}

namespace {

void gather(const OptionParser& parser, Option* opt, Option* pending, const Dict* d,
            Target target) {
  if (!d) {
    return;
  }
  for (const auto& [key, value] : *d) {
    const Pref* pref = option::k2p(key);
    const OptionHandler* handler = parser.find(pref);
    if (!handler) {
      continue;
    }
    Option* dest = nullptr;
    switch (target) {
      case Target::REQUEST:
        dest = handler->getInitialOption() ? opt : nullptr;
        break;
      case Target::RESERVED:
        dest = handler->getChangeOptionForReserved() ? opt : nullptr;
        break;
      case Target::GLOBAL:
        dest = handler->getChangeGlobalOption() ? opt : nullptr;
        break;
      case Target::CHANGE:
        if (handler->getChangeOption()) {
          dest = opt;
        } else if (handler->getChangeOptionForReserved()) {
          dest = pending;
        }
        break;
    }
    if (dest) {
      applyValue(handler, dest, value.get());
    }
  }
}

}  // namespace

void RpcMethod::gatherRequestOption(Option* opt, const Dict* d) const {
  gather(*optionParser_, opt, nullptr, d, Target::REQUEST);
}

void RpcMethod::gatherChangeableOption(Option* opt, Option* pending, const Dict* d) const {
  gather(*optionParser_, opt, pending, d, Target::CHANGE);
}

void RpcMethod::gatherChangeableOptionForReserved(Option* opt, const Dict* d) const {
  gather(*optionParser_, opt, nullptr, d, Target::RESERVED);
}

void RpcMethod::gatherChangeableGlobalOption(Option* opt, const Dict* d) const {
  gather(*optionParser_, opt, nullptr, d, Target::GLOBAL);
}

}  // namespace rpc
}  // namespace quarn
