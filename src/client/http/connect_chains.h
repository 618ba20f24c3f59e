#pragma once

#include "client/common/ConnectCommand.h"
#include "client/common/ControlChain.h"

namespace quarn {

// After a direct connect or a connect to a GET proxy: write the request.
class HttpRequestConnectChain : public ControlChain<ConnectCommand*> {
 public:
  int run(ConnectCommand* t, DownloadEngine* e) override;
};

// After a connect to a tunnelling proxy: send CONNECT first.
class HttpProxyRequestConnectChain : public ControlChain<ConnectCommand*> {
 public:
  int run(ConnectCommand* t, DownloadEngine* e) override;
};

}  // namespace quarn
