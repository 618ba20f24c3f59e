#include "engine/RequestGroupEntry.h"

#include "engine/RequestGroup.h"

namespace quarn {

RequestGroupEntry::RequestGroupEntry(RequestGroup* requestGroup,
                                     std::unique_ptr<Command> nextCommand)
    : requestGroup_(requestGroup), nextCommand_(std::move(nextCommand)) {
  requestGroup_->increaseNumCommand();
}

RequestGroupEntry::~RequestGroupEntry() {
  // The next command may itself count on the download; it goes first.
  nextCommand_.reset();
  requestGroup_->decreaseNumCommand();
}

}  // namespace quarn
