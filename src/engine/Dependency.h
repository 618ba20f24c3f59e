#pragma once

namespace quarn {

// Something a waiting download must see settled before it may start, such
// as another download that fetches its description.
class Dependency {
 public:
  virtual ~Dependency() = default;
  // False while the download must keep waiting; true once it may start.
  virtual bool resolve() = 0;
};

}  // namespace quarn
