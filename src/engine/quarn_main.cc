#include "engine/quarn_main.h"

#include "engine/Context.h"

namespace quarn {

int main(int argc, char** argv) {
  Context context(true, argc, argv, {});
  // The download run starts here once it exists.
  return 0;
}

}  // namespace quarn
