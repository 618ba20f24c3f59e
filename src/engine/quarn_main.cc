#include "engine/quarn_main.h"

namespace quarn {

int main(int, char**) {
  // Option processing and the download run start here once they exist.
  return 0;
}

}  // namespace quarn
