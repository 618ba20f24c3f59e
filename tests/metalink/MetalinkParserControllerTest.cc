#include "metalink/MetalinkParserController.h"

#include <gtest/gtest.h>

#include "MetalinkDump.h"
#include "metalink/Metalinker.h"

namespace quarn {

TEST(MetalinkParserControllerTest, CallsWithoutAnOpenObjectChangeNothing) {
  MetalinkParserController ctrl;
  ctrl.setFileNameOfEntry("x");
  ctrl.newResourceTransaction();
  ctrl.setURLOfResource("http://h/");
  ctrl.commitResourceTransaction();
  ctrl.newChecksumTransaction();
  ctrl.setHashOfChecksum(std::string(40, 'a'));
  ctrl.commitChecksumTransaction();
  ctrl.addHashOfChunkChecksumV4(std::string(40, 'a'));
  ctrl.commitChunkChecksumTransaction();
  ctrl.newSignatureTransaction();
  ctrl.commitSignatureTransaction();
  ctrl.commitEntryTransaction();
  EXPECT_EQ("", test::dump(*ctrl.getResult()));
}

TEST(MetalinkParserControllerTest, NamesUrlsAndSignatures) {
  MetalinkParserController ctrl;
  ctrl.setBaseUri("http://base/dir/doc.meta4");
  ctrl.newEntryTransaction();
  // Control bytes never reach a path.
  ctrl.setFileNameOfEntry("a\tb");
  const std::string magnet = "magnet:?xt=urn:btih:" + std::string(40, 'c');
  for (const std::string& url : {magnet, std::string("t.torrent")}) {
    ctrl.newMetaurlTransaction();
    ctrl.setMediatypeOfMetaurl("torrent");
    ctrl.setURLOfMetaurl(url);
    ctrl.commitMetaurlTransaction();
  }
  for (const char* body : {"first", "second"}) {
    ctrl.newSignatureTransaction();
    ctrl.setTypeOfSignature("pgp");
    ctrl.setBodyOfSignature(body);
    ctrl.commitSignatureTransaction();
  }
  // Committing the entry commits what is still open.
  ctrl.newResourceTransaction();
  ctrl.setTypeOfResource("torrent");
  ctrl.setURLOfResource("http://h/old.torrent");
  ctrl.setPriorityOfResource(7);
  ctrl.commitEntryTransaction();
  EXPECT_EQ("F a%09b M(" + magnet +
                "|torrent||999999) M(http://base/dir/t.torrent|torrent||999999) "
                "M(http://h/old.torrent|torrent||7) S(pgp||second)\n",
            test::dump(*ctrl.getResult()));
}

TEST(MetalinkParserControllerTest, CancelledEntryLeavesNothing) {
  MetalinkParserController ctrl;
  ctrl.newEntryTransaction();
  ctrl.setFileNameOfEntry("a");
  ctrl.newSignatureTransaction();
  ctrl.cancelEntryTransaction();
  ctrl.commitSignatureTransaction();
  ctrl.commitEntryTransaction();
  EXPECT_EQ("", test::dump(*ctrl.getResult()));
}

}  // namespace quarn
