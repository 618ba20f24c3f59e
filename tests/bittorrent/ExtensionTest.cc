#include <gtest/gtest.h>

#include "bittorrent/DefaultExtensionMessageFactory.h"
#include "bittorrent/ExtensionMessageRegistry.h"
#include "bittorrent/HandshakeExtensionMessage.h"
#include "bittorrent/Peer.h"
#include "foundation/DlAbortEx.h"

namespace quarn {
namespace {

std::unique_ptr<HandshakeExtensionMessage> parse(const std::string& bencoded) {
  const std::string data = std::string(1, '\0') + bencoded;
  return HandshakeExtensionMessage::create(reinterpret_cast<const unsigned char*>(data.data()),
                                           data.size());
}

TEST(ExtensionTest, HandshakeFieldsAreTakenOnlyWithinTheirRanges) {
  struct Case {
    std::string payload;
    uint16_t port;
    size_t metadataSize;
    uint8_t metadataId;
    uint8_t pexId;
  } cases[] = {
      {"de", 0, 0, 0, 0},
      {"d1:pi6881ee", 6881, 0, 0, 0},
      {"d1:pi0ee", 0, 0, 0, 0},
      {"d1:pi65536ee", 0, 0, 0, 0},
      {"d13:metadata_sizei8388608ee", 0, 8388608, 0, 0},
      {"d13:metadata_sizei8388609ee", 0, 0, 0, 0},
      {"d1:md11:ut_metadatai3e6:ut_pexi0eee", 0, 0, 3, 0},
      {"d1:md11:ut_metadatai300e6:ut_pexi5e5:otheri7eee", 0, 0, 0, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.payload);
    auto m = parse(c.payload);
    EXPECT_EQ(c.port, m->getTCPPort());
    EXPECT_EQ(c.metadataSize, m->getMetadataSize());
    EXPECT_EQ(c.metadataId,
              m->getExtensionMessageRegistry().getExtensionMessageID(EXT_UT_METADATA));
    EXPECT_EQ(c.pexId, m->getExtensionMessageRegistry().getExtensionMessageID(EXT_UT_PEX));
  }
  EXPECT_THROW(parse("d13:metadata_sizei-1ee"), DlAbortEx);
  EXPECT_THROW(parse("li1ee"), DlAbortEx);
  EXPECT_THROW(parse("d1:p"), DlAbortEx);
}

TEST(ExtensionTest, OwnHandshakeRoundTripsWithSortedKeys) {
  HandshakeExtensionMessage m;
  m.setClientVersion("quarn/1.0");
  m.setTCPPort(6881);
  m.getExtensionMessageRegistry().setExtensionMessageID(EXT_UT_METADATA, 9);
  EXPECT_EQ("d1:md11:ut_metadatai9ee1:pi6881e1:v9:quarn/1.0e", m.getPayload());
  auto back = parse(m.getPayload());
  EXPECT_EQ("quarn/1.0", back->getClientVersion());
  EXPECT_EQ(9, back->getExtensionMessageRegistry().getExtensionMessageID(EXT_UT_METADATA));
}

TEST(ExtensionTest, ExtendedIdsWithoutARegisteredExtensionEndTheConnection) {
  ExtensionMessageRegistry registry;
  DefaultExtensionMessageFactory factory(std::make_shared<Peer>("10.0.0.1", 1), &registry);
  const unsigned char data[] = {8, 'd', 'e'};
  try {
    factory.createMessage(data, sizeof(data));
    ADD_FAILURE() << "accepted";
  } catch (const DlAbortEx& e) {
    EXPECT_STREQ("No extension registered for extended message ID 8", e.what());
  }
}

}  // namespace
}  // namespace quarn
