// Helper program for the export tests.
//   (no arguments)  records into tolvane_child_noargs.txt beside itself
//   record <file>   records its command line and start-up show state
//   sleep           waits up to a minute
//   exit <n>        ends with code n
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

static int record(const std::string& path) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  GetStartupInfoA(&si);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 2;
  std::fprintf(f, "%s\n%lu\n%u\n", GetCommandLineA(), static_cast<unsigned long>(si.dwFlags),
               static_cast<unsigned>(si.wShowWindow));
  std::fclose(f);
  return 0;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string dir(self);
    dir.erase(dir.find_last_of("\\/") + 1);
    return record(dir + "tolvane_child_noargs.txt");
  }
  if (!std::strcmp(argv[1], "record") && argc >= 3) return record(argv[2]);
  if (!std::strcmp(argv[1], "sleep")) {
    Sleep(60000);
    return 5;
  }
  if (!std::strcmp(argv[1], "exit") && argc >= 3) return std::atoi(argv[2]);
  return 1;
}
