#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "foundation/LogFactory.h"
#include "storage/ServerStatMan.h"

namespace {

// One scratch directory for the whole run, removed at exit.
class ScratchDir {
 public:
  ScratchDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "quarn-fuzz-XXXXXX").string();
    path_ = mkdtemp(tmpl.data());
  }
  ~ScratchDir() { std::filesystem::remove_all(path_); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

const std::string& scratchDir() {
  static const ScratchDir dir;
  return dir.path();
}

}  // namespace

// Loads the input as a server-statistics file, saves what was read and loads
// that again: every record written must come back.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool quiet = [] {
    quarn::LogFactory::setLogLevel(quarn::Logger::Q_ERROR);
    quarn::LogFactory::consoleOutput_ = false;
    return true;
  }();
  (void)quiet;
  int fd = memfd_create("server-stat", 0);
  if (fd == -1) {
    return 0;
  }
  if (size > 0 && write(fd, data, size) != static_cast<ssize_t>(size)) {
    close(fd);
    return 0;
  }
  std::string input = "/proc/self/fd/" + std::to_string(fd);
  quarn::ServerStatMan man;
  bool loaded = man.load(input);
  close(fd);
  if (!loaded) {
    abort();
  }
  std::string output = scratchDir() + "/server-stat";
  if (!man.save(output)) {
    abort();
  }
  quarn::ServerStatMan again;
  if (!again.load(output) || again.size() != man.size()) {
    abort();
  }
  return 0;
}
