#include "engine/util_hook.h"

#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "config/Option.h"
#include "engine/RequestGroup.h"
#include "foundation/LogMacros.h"
#include "foundation/fmt.h"
#include "foundation/util_number.h"
#include "storage/DownloadContext.h"

namespace quarn {
namespace util {

namespace {

// Only async-signal-safe calls between fork and _exit: worker threads may
// hold the allocator's or the locale's locks at the fork, so the message's
// text is made before it and the error's description is a static string.
[[noreturn]] void execInChild(const std::string& command, const std::string& gid,
                              const std::string& numFiles, const std::string& firstFile,
                              const std::string& failurePrefix) {
  execlp(command.c_str(), command.c_str(), gid.c_str(), numFiles.c_str(), firstFile.c_str(),
         static_cast<char*>(nullptr));
  const char* cause = strerrordesc_np(errno);
  if (!cause) {
    cause = "Unknown error";
  }
  struct iovec parts[3] = {{const_cast<char*>(failurePrefix.data()), failurePrefix.size()},
                           {const_cast<char*>(cause), strlen(cause)},
                           {const_cast<char*>("\n"), 1}};
  ssize_t r = writev(STDERR_FILENO, parts, 3);
  (void)r;
  _exit(1);
}

}  // namespace

void executeHookByOptName(const RequestGroup* group, const Option* option, const Pref* pref) {
  const std::string& command = option->get(pref);
  if (command.empty()) {
    return;
  }
  std::string firstFile;
  size_t numFiles = 0;
  if (!group->inMemoryDownload()) {
    const auto& dctx = group->getDownloadContext();
    if (auto entry = dctx->getFirstRequestedFileEntry()) {
      firstFile = entry->getPath();
    }
    numFiles = dctx->countRequestedFileEntry();
  }
  const std::string gid = group->getGroupId()->toHex();
  const std::string numFilesText = util::uitos(numFiles);
  QLOG_INFO(fmt("Executing user command: %s %s %s %s", command.c_str(), gid.c_str(),
                numFilesText.c_str(), firstFile.c_str()));
  const std::string failurePrefix = "Could not execute user command: " + command + ": ";
  pid_t pid = fork();
  if (pid == -1) {
    QLOG_ERROR("fork() failed. Cannot execute user command.");
    return;
  }
  if (pid == 0) {
    execInChild(command, gid, numFilesText, firstFile, failurePrefix);
  }
}

void executeHookByOptName(const std::shared_ptr<RequestGroup>& group, const Option* option,
                          const Pref* pref) {
  executeHookByOptName(group.get(), option, pref);
}

}  // namespace util
}  // namespace quarn
