#pragma once

namespace quarn {

// Checks a decoded message against the torrent; throws DlAbortEx when the
// message names something that does not exist.
class BtMessageValidator {
 public:
  virtual ~BtMessageValidator() = default;
  virtual void validate() = 0;
};

}  // namespace quarn
