#include "storage/ServerStatMan.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "TempDir.h"

namespace quarn {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

std::shared_ptr<ServerStat> makeStat(const std::string& host, const std::string& protocol,
                                     int32_t speed, time_t lastUpdated) {
  auto stat = std::make_shared<ServerStat>(host, protocol);
  stat->setDownloadSpeed(speed);
  stat->setLastUpdated(Time(lastUpdated));
  return stat;
}

TEST(ServerStatManTest, AddKeepsOneRecordPerHostAndProtocol) {
  ServerStatMan man;
  EXPECT_TRUE(man.add(makeStat("a", "http", 1, 0)));
  EXPECT_TRUE(man.add(makeStat("a", "ftp", 2, 0)));
  EXPECT_FALSE(man.add(makeStat("a", "http", 3, 0)));
  EXPECT_EQ(1, man.find("a", "http")->getDownloadSpeed());
  EXPECT_EQ(2, man.find("a", "ftp")->getDownloadSpeed());
  EXPECT_EQ(nullptr, man.find("b", "http"));
}

TEST(ServerStatManTest, SaveThenLoadRoundTripsEveryFieldInSortedOrder) {
  TempDir dir;
  std::string path = dir.file("server-stat");
  ServerStatMan man;
  auto b = makeStat("b.example", "http", 1000, 1300000000);
  b->setSingleConnectionAvgSpeed(2000);
  b->setMultiConnectionAvgSpeed(3000);
  b->setCounter(7);
  b->setStatus(ServerStat::ERROR);
  man.add(b);
  man.add(makeStat("a.example", "ftp", 500, 4102444800LL));
  ASSERT_TRUE(man.save(path));
  EXPECT_FALSE(std::filesystem::exists(path + "__temp"));
  EXPECT_EQ(
      "host=a.example, protocol=ftp, dl_speed=500, sc_avg_speed=0, mc_avg_speed=0, "
      "last_updated=4102444800, counter=0, status=OK\n"
      "host=b.example, protocol=http, dl_speed=1000, sc_avg_speed=2000, mc_avg_speed=3000, "
      "last_updated=1300000000, counter=7, status=ERROR\n",
      readFile(path));

  ServerStatMan loaded;
  ASSERT_TRUE(loaded.load(path));
  ASSERT_EQ(2u, loaded.size());
  auto lb = loaded.find("b.example", "http");
  ASSERT_TRUE(lb);
  EXPECT_EQ(b->toString(), lb->toString());
  auto la = loaded.find("a.example", "ftp");
  ASSERT_TRUE(la);
  EXPECT_EQ(4102444800LL, la->getLastUpdated().getTimeFromEpoch());
}

TEST(ServerStatManTest, LoadSkipsDamagedLinesAndReadsLooseForms) {
  TempDir dir;
  std::string path = dir.file("server-stat");
  writeFile(path,
            // fields reordered, spaced, with an unknown name and a CRLF ending
            "  status = ERROR ,counter=2,, extra=1, last_updated = 1000 , dl_speed= 77 ,"
            "protocol=http,host=reordered \r\n"
            "\n"
            "host=nostamp, protocol=http, dl_speed=1\n"
            "host=badspeed, protocol=http, dl_speed=-1, last_updated=1\n"
            "host=badcounter, protocol=http, dl_speed=1, last_updated=1, counter=x\n"
            "host=badstamp, protocol=http, dl_speed=1, last_updated=12a\n"
            "host=farfuture, protocol=http, dl_speed=1, last_updated=99999999999999999\n"
            "protocol=http, dl_speed=1, last_updated=1\n"
            "garbage without any equals sign\n"
            "host=after2038, protocol=http, dl_speed=5, last_updated=2147483648, status=what\n"
            "host=reordered, protocol=http, dl_speed=99, last_updated=1\n"
            "host=minimal, protocol=ftp, dl_speed=3, last_updated=5, sc_avg_speed=, counter=");
  ServerStatMan man;
  ASSERT_TRUE(man.load(path));
  EXPECT_EQ(3u, man.size());

  auto reordered = man.find("reordered", "http");
  ASSERT_TRUE(reordered);
  EXPECT_EQ(77, reordered->getDownloadSpeed()) << "the first line for a server wins";
  EXPECT_EQ(2, reordered->getCounter());
  EXPECT_EQ(1000, reordered->getLastUpdated().getTimeFromEpoch());
  EXPECT_TRUE(reordered->isError());

  auto after2038 = man.find("after2038", "http");
  ASSERT_TRUE(after2038) << "a stamp past 2^31 seconds still loads";
  EXPECT_EQ(2147483648LL, after2038->getLastUpdated().getTimeFromEpoch());
  EXPECT_TRUE(after2038->isOK());

  auto minimal = man.find("minimal", "ftp");
  ASSERT_TRUE(minimal);
  EXPECT_EQ(0, minimal->getSingleConnectionAvgSpeed());
  EXPECT_EQ(0, minimal->getCounter());
}

TEST(ServerStatManTest, FileErrorsAreReportedByFalse) {
  TempDir dir;
  ServerStatMan man;
  EXPECT_FALSE(man.load(dir.file("missing")));
  man.add(makeStat("a", "http", 1, 1));
  EXPECT_FALSE(man.save(dir.file("no-such-dir/server-stat")));
  // The target is a directory: the temporary file is written but the rename
  // fails and the directory stays.
  std::filesystem::create_directory(dir.file("target"));
  std::filesystem::create_directory(dir.file("target/inside"));
  EXPECT_FALSE(man.save(dir.file("target")));
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("target")));
}

TEST(ServerStatManTest, RemoveStaleServerStatDropsRecordsAtOrPastTheTimeout) {
  ServerStatMan man;
  time_t now = Time().getTimeFromEpoch();
  man.add(makeStat("old", "http", 1, now - 3600));
  man.add(makeStat("edge", "http", 1, now - 60));
  man.add(makeStat("fresh", "http", 1, now - 10));
  man.add(makeStat("future", "http", 1, now + 3600));
  man.removeStaleServerStat(60);
  EXPECT_EQ(nullptr, man.find("old", "http"));
  EXPECT_EQ(nullptr, man.find("edge", "http"));
  EXPECT_NE(nullptr, man.find("fresh", "http"));
  EXPECT_NE(nullptr, man.find("future", "http"));
}

}  // namespace
}  // namespace quarn
