// Process and number exports.
#include "tolvane.h"

#include <string>
#include <vector>

#include "zell_core.h"

extern "C" int WINAPI ZellLaunchApp(const char* program, const char* arguments, int show, int separate,
                                    HANDLE* process) {
  if (!program) return zell::kFail;
  // A start-up record of our own: only the show state is handed on, never
  // the installer's reserved data or standard handles.
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = WORD(show & 0xFFFF);
  const std::string line = zell::launchCommandLine(program, arguments);
  std::vector<char> buffer(line.begin(), line.end());
  buffer.push_back('\0');
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, zell::launchCreationFlags(separate),
                      nullptr, nullptr, &si, &pi))
    return zell::kFail;
  CloseHandle(pi.hThread);
  if (process)
    *process = pi.hProcess;
  else
    CloseHandle(pi.hProcess);
  return zell::kOk;
}

extern "C" int WINAPI ZellLaunchAppAndWait(const char* program, const char* arguments, int show, int separate) {
  HANDLE process = nullptr;
  if (ZellLaunchApp(program, arguments, show, separate, &process) != zell::kOk) return zell::kFail;
  WaitForSingleObject(process, INFINITE);
  CloseHandle(process);
  return zell::kOk;
}

extern "C" int WINAPI ZellIsAppRunning(HANDLE process) {
  return WaitForSingleObject(process, 0) == WAIT_TIMEOUT ? zell::kOk : zell::kFail;
}

namespace {
class WinProcess final : public zell::ProcessOps {
public:
  explicit WinProcess(HANDLE h) : h_(h) {}
  bool running() override { return ZellIsAppRunning(h_) == zell::kOk; }
  bool terminate(uint32_t code) override { return TerminateProcess(h_, code) != 0; }
  void waitEnded() override { WaitForSingleObject(h_, 30000); }
  bool exitCode(uint32_t& code) override {
    DWORD c = 0;
    if (!GetExitCodeProcess(h_, &c)) return false;
    code = c;
    return true;
  }
  void close() override { CloseHandle(h_); }

private:
  HANDLE h_;
};
} // namespace

extern "C" int WINAPI ZellEndApp(HANDLE process, DWORD* exitCode) {
  WinProcess p(process);
  uint32_t code = 0;
  const int result = zell::endProcess(p, &code);
  if (result == zell::kOk && exitCode) *exitCode = code;
  return result;
}

extern "C" int WINAPI ZellDivFormatDouble(char* out, int dividend, int divisor, int decimals, int decimalChar) {
  if (!out) return zell::kFail;
  return zell::divFormat(out, dividend, divisor, int16_t(decimals & 0xFFFF), char(decimalChar & 0xFF))
             ? zell::kOk
             : zell::kFail;
}

extern "C" int WINAPI ZellDelimit(char* out, const char* in, int separator, int decimalChar) {
  if (out && in) zell::delimit(out, in, char(separator & 0xFF), char(decimalChar & 0xFF));
  return zell::kOk;
}
