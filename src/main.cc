#include <cstdio>

#include "foundation/Exception.h"

int main(int, char**) {
  try {
    return 0;
  } catch (const quarn::Exception& e) {
    std::fprintf(stderr, "%s\n%s\n", "Exception caught", e.stackTrace().c_str());
    return e.getErrorCode();
  }
}
