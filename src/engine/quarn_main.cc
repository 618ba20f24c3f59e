#include "engine/quarn_main.h"

#include "engine/Context.h"
#include "engine/MultiUrlRequestInfo.h"

namespace quarn {

int main(int argc, char** argv) {
  Context context(true, argc, argv, {});
  if (!context.hasRun()) {
    return 0;
  }
  MultiUrlRequestInfo reqinfo(context.getRequestGroups(), context.getOption(),
                              context.getUriListParser());
  return reqinfo.execute();
}

}  // namespace quarn
