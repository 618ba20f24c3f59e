#include "app/quarn_main.h"

#include "app/Context.h"
#include "app/MultiUrlRequestInfo.h"

namespace quarn {

int main(int argc, char** argv) {
  Context context(true, argc, argv, {});
  if (context.getReqinfo()) {
    return context.getReqinfo()->execute();
  }
  return 0;
}

}  // namespace quarn
