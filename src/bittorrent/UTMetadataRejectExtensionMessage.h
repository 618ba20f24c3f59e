#pragma once

#include "bittorrent/UTMetadataExtensionMessage.h"

namespace quarn {

// A peer refuses a metadata piece: it has no metadata to give, so the
// connection is of no use to a metadata download.
class UTMetadataRejectExtensionMessage : public UTMetadataExtensionMessage {
 public:
  using UTMetadataExtensionMessage::UTMetadataExtensionMessage;

  std::string getPayload() override;
  std::string toString() const override;
  void doReceivedAction() override;
};

}  // namespace quarn
