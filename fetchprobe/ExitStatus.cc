#include "fetchprobe/ExitStatus.h"

#include <signal.h>
#include <sys/wait.h>

#include <string_view>

namespace quarn {

namespace {

struct SignalName {
  int number;
  std::string_view name;
};

constexpr SignalName SIGNAL_NAMES[] = {
    {SIGHUP, "SIGHUP"},       {SIGINT, "SIGINT"},   {SIGQUIT, "SIGQUIT"},
    {SIGILL, "SIGILL"},       {SIGTRAP, "SIGTRAP"}, {SIGABRT, "SIGABRT"},
    {SIGBUS, "SIGBUS"},       {SIGFPE, "SIGFPE"},   {SIGKILL, "SIGKILL"},
    {SIGUSR1, "SIGUSR1"},     {SIGSEGV, "SIGSEGV"}, {SIGUSR2, "SIGUSR2"},
    {SIGPIPE, "SIGPIPE"},     {SIGALRM, "SIGALRM"}, {SIGTERM, "SIGTERM"},
#ifdef SIGSTKFLT
    {SIGSTKFLT, "SIGSTKFLT"},
#endif
    {SIGCHLD, "SIGCHLD"},     {SIGCONT, "SIGCONT"}, {SIGSTOP, "SIGSTOP"},
    {SIGTSTP, "SIGTSTP"},     {SIGTTIN, "SIGTTIN"}, {SIGTTOU, "SIGTTOU"},
    {SIGURG, "SIGURG"},       {SIGXCPU, "SIGXCPU"}, {SIGXFSZ, "SIGXFSZ"},
    {SIGVTALRM, "SIGVTALRM"}, {SIGPROF, "SIGPROF"}, {SIGWINCH, "SIGWINCH"},
    {SIGIO, "SIGIO"},
#ifdef SIGPWR
    {SIGPWR, "SIGPWR"},
#endif
    {SIGSYS, "SIGSYS"},
};

std::string signalName(int signo) {
  for (const auto& entry : SIGNAL_NAMES) {
    if (entry.number == signo)
      return std::string(entry.name);
  }
  if (signo >= SIGRTMIN && signo <= SIGRTMAX) {
    return "SIGRTMIN+" + std::to_string(signo - SIGRTMIN);
  }
  return {};
}

std::string describeSignal(int signo, bool coreDumped) {
  std::string text = "signal: " + std::to_string(signo);
  std::string name = signalName(signo);
  if (!name.empty())
    text += " (" + name + ")";
  if (coreDumped)
    text += " (core dumped)";
  return text;
}

}  // namespace

std::string ExitStatus::toString() const {
  if (WIFEXITED(waitStatus_)) {
    return "exit status: " + std::to_string(WEXITSTATUS(waitStatus_));
  }
  if (WIFSIGNALED(waitStatus_)) {
    return describeSignal(WTERMSIG(waitStatus_), WCOREDUMP(waitStatus_));
  }
  return "wait status: " + std::to_string(waitStatus_);
}

}  // namespace quarn
