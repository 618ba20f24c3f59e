#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "engine/Command.h"
#include "engine/EpollEventPoll.h"
#include "engine/PollEventPoll.h"
#include "engine/SelectEventPoll.h"

namespace quarn {
namespace {

class NopCommand : public Command {
 public:
  explicit NopCommand(cuid_t cuid) : Command(cuid) {}
  bool execute() override { return true; }
};

struct Fds {
  int fd[2] = {-1, -1};
  ~Fds() {
    for (int f : fd) {
      if (f != -1) {
        close(f);
      }
    }
  }
  void closeOne(int i) {
    close(fd[i]);
    fd[i] = -1;
  }
};

const struct timeval kNoWait = {0, 0};

struct PollMaker {
  std::string name;
  std::function<std::unique_ptr<EventPoll>()> make;
};

class EventPollTest : public ::testing::TestWithParam<PollMaker> {
 protected:
  std::unique_ptr<EventPoll> poll_ = GetParam().make();
};

// On a pipe's read end only reading can become ready: the writer stays
// asleep but still learns of the read readiness.
TEST_P(EventPollTest, ReadinessWakesOnlyTheInterestedCommandButFlagsAll) {
  Fds p;
  ASSERT_EQ(0, pipe(p.fd));
  NopCommand reader(1), writer(2);
  ASSERT_TRUE(poll_->addEvents(p.fd[0], &reader, EventPoll::EVENT_READ));
  ASSERT_TRUE(poll_->addEvents(p.fd[0], &writer, EventPoll::EVENT_WRITE));

  poll_->poll(kNoWait);
  EXPECT_EQ(Command::STATUS_INACTIVE, reader.getStatus());
  EXPECT_FALSE(reader.readEventEnabled());

  ASSERT_EQ(1, write(p.fd[1], "x", 1));
  poll_->poll(kNoWait);
  EXPECT_EQ(Command::STATUS_ACTIVE, reader.getStatus());
  EXPECT_TRUE(reader.readEventEnabled());
  EXPECT_EQ(Command::STATUS_INACTIVE, writer.getStatus());
  EXPECT_TRUE(writer.readEventEnabled());
  EXPECT_FALSE(writer.writeEventEnabled());
}

TEST_P(EventPollTest, SecondRegistrationMergesIntoOneRecord) {
  Fds s;
  ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, s.fd));
  NopCommand command(1);
  ASSERT_TRUE(poll_->addEvents(s.fd[0], &command, EventPoll::EVENT_READ));
  ASSERT_TRUE(poll_->addEvents(s.fd[0], &command, EventPoll::EVENT_WRITE));
  ASSERT_TRUE(poll_->deleteEvents(s.fd[0], &command, EventPoll::EVENT_READ));

  // Still registered for writing, which a fresh socket always allows.
  poll_->poll(kNoWait);
  EXPECT_EQ(Command::STATUS_ACTIVE, command.getStatus());
  EXPECT_TRUE(command.writeEventEnabled());

  // Removing the last bit removes the entry: a further removal finds nothing.
  ASSERT_TRUE(poll_->deleteEvents(s.fd[0], &command, EventPoll::EVENT_WRITE));
  EXPECT_FALSE(poll_->deleteEvents(s.fd[0], &command, EventPoll::EVENT_WRITE));

  command.setStatus(Command::STATUS_INACTIVE);
  command.clearIOEvents();
  poll_->poll(kNoWait);
  EXPECT_EQ(Command::STATUS_INACTIVE, command.getStatus());
  EXPECT_FALSE(command.writeEventEnabled());
}

TEST_P(EventPollTest, DeletingUnknownDescriptorFails) {
  NopCommand command(1);
  EXPECT_FALSE(poll_->deleteEvents(12345, &command, EventPoll::EVENT_READ));
}

TEST_P(EventPollTest, RemovingOneCommandKeepsTheOtherOnTheSameDescriptor) {
  Fds p;
  ASSERT_EQ(0, pipe(p.fd));
  NopCommand a(1), b(2);
  ASSERT_TRUE(poll_->addEvents(p.fd[0], &a, EventPoll::EVENT_READ));
  ASSERT_TRUE(poll_->addEvents(p.fd[0], &b, EventPoll::EVENT_READ));
  ASSERT_TRUE(poll_->deleteEvents(p.fd[0], &a, EventPoll::EVENT_READ));
  ASSERT_EQ(1, write(p.fd[1], "x", 1));
  poll_->poll(kNoWait);
  EXPECT_EQ(Command::STATUS_INACTIVE, a.getStatus());
  EXPECT_EQ(Command::STATUS_ACTIVE, b.getStatus());
}

TEST_P(EventPollTest, ManyDescriptorsAreAllWatched) {
  constexpr int kPipes = 40;
  Fds pipes[kPipes];
  std::unique_ptr<NopCommand> commands[kPipes];
  for (int i = 0; i < kPipes; ++i) {
    ASSERT_EQ(0, pipe(pipes[i].fd));
    commands[i] = std::make_unique<NopCommand>(i + 1);
    ASSERT_TRUE(poll_->addEvents(pipes[i].fd[0], commands[i].get(), EventPoll::EVENT_READ));
  }
  // Unregister the even ones so the remaining registrations are shuffled.
  for (int i = 0; i < kPipes; i += 2) {
    ASSERT_TRUE(poll_->deleteEvents(pipes[i].fd[0], commands[i].get(), EventPoll::EVENT_READ));
  }
  for (int i = 0; i < kPipes; ++i) {
    ASSERT_EQ(1, write(pipes[i].fd[1], "x", 1));
  }
  poll_->poll(kNoWait);
  for (int i = 0; i < kPipes; ++i) {
    EXPECT_EQ(i % 2 ? Command::STATUS_ACTIVE : Command::STATUS_INACTIVE, commands[i]->getStatus())
        << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    AllPolls, EventPollTest,
    ::testing::Values(PollMaker{"epoll", [] { return std::make_unique<EpollEventPoll>(); }},
                      PollMaker{"poll", [] { return std::make_unique<PollEventPoll>(); }},
                      PollMaker{"select", [] { return std::make_unique<SelectEventPoll>(); }}),
    [](const auto& info) { return info.param.name; });

// Hang-up wakes a command whatever it waits for; select has no hang-up.
class HangUpTest : public EventPollTest {};

TEST_P(HangUpTest, HangUpWakesWriterWithItsFlag) {
  Fds p;
  ASSERT_EQ(0, pipe(p.fd));
  NopCommand writer(1);
  ASSERT_TRUE(poll_->addEvents(p.fd[0], &writer, EventPoll::EVENT_WRITE));
  p.closeOne(1);
  poll_->poll(kNoWait);
  EXPECT_EQ(Command::STATUS_ACTIVE, writer.getStatus());
  EXPECT_TRUE(writer.hupEventEnabled());
  EXPECT_FALSE(writer.writeEventEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    PollAndEpoll, HangUpTest,
    ::testing::Values(PollMaker{"epoll", [] { return std::make_unique<EpollEventPoll>(); }},
                      PollMaker{"poll", [] { return std::make_unique<PollEventPoll>(); }}),
    [](const auto& info) { return info.param.name; });

TEST(PollEventPollTest, PollfdArrayDoublesPastItsCapacity) {
  PollEventPoll poll;
  NopCommand command(1);
  for (int fd = 0; fd < 1024; ++fd) {
    ASSERT_TRUE(poll.addEvents(100000 + fd, &command, EventPoll::EVENT_READ));
  }
  EXPECT_EQ(1024, poll.getPollfdCapacity());
  ASSERT_TRUE(poll.addEvents(200000, &command, EventPoll::EVENT_READ));
  EXPECT_EQ(2048, poll.getPollfdCapacity());
  EXPECT_EQ(1025, poll.getPollfdCount());
  ASSERT_TRUE(poll.deleteEvents(100000, &command, EventPoll::EVENT_READ));
  EXPECT_EQ(1024, poll.getPollfdCount());
}

TEST(PollEventPollTest, TranslatesAllFourInterfaceBits) {
  EXPECT_EQ(POLLIN | POLLOUT | POLLERR | POLLHUP,
            PollEventPoll::translateEvents(static_cast<EventPoll::EventType>(15)));
}

// A descriptor that select cannot hold is left out instead of overrunning the
// fd_set.
TEST(SelectEventPollTest, DescriptorBeyondFdSetSizeIsNeverWaitedFor) {
  SelectEventPoll poll;
  NopCommand command(1);
  ASSERT_TRUE(poll.addEvents(FD_SETSIZE, &command, EventPoll::EVENT_READ));
  ASSERT_TRUE(poll.addEvents(-1, &command, EventPoll::EVENT_READ));
  poll.poll(kNoWait);
  EXPECT_EQ(Command::STATUS_INACTIVE, command.getStatus());
  EXPECT_TRUE(poll.deleteEvents(FD_SETSIZE, &command, EventPoll::EVENT_READ));
}

// A closed descriptor drops out of epoll by itself; its number may return for
// a new socket, which must then be watched.
TEST(EpollEventPollTest, ReusedDescriptorNumberIsWatchedAgain) {
  EpollEventPoll poll;
  ASSERT_TRUE(poll.good());
  NopCommand first(1), second(2);
  Fds p;
  ASSERT_EQ(0, pipe(p.fd));
  int number = p.fd[0];
  ASSERT_TRUE(poll.addEvents(number, &first, EventPoll::EVENT_READ));
  p.closeOne(0);
  Fds q;
  ASSERT_EQ(0, pipe(q.fd));
  ASSERT_EQ(number, q.fd[0]);
  ASSERT_TRUE(poll.addEvents(number, &second, EventPoll::EVENT_READ));
  ASSERT_EQ(1, write(q.fd[1], "x", 1));
  poll.poll(kNoWait);
  EXPECT_EQ(Command::STATUS_ACTIVE, second.getStatus());
  EXPECT_TRUE(poll.deleteEvents(number, &first, EventPoll::EVENT_READ));
  EXPECT_TRUE(poll.deleteEvents(number, &second, EventPoll::EVENT_READ));
}

}  // namespace
}  // namespace quarn
