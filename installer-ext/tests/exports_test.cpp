// Loads the built library and drives its exports; processes are started
// from the helper program beside the test.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using LaunchFn = int(WINAPI*)(const char*, const char*, int, int, HANDLE*);
using LaunchWaitFn = int(WINAPI*)(const char*, const char*, int, int);
using RunningFn = int(WINAPI*)(HANDLE);
using EndFn = int(WINAPI*)(HANDLE, DWORD*);
using DivFn = int(WINAPI*)(char*, int, int, int, int);
using DelimitFn = int(WINAPI*)(char*, const char*, int, int);

std::string exeDir() {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string dir(self);
  return dir.substr(0, dir.find_last_of("\\/") + 1);
}

class TolvaneExports : public ::testing::Test {
protected:
  static void SetUpTestSuite() { module_ = LoadLibraryA((exeDir() + "Tolvane.dll").c_str()); }
  static void TearDownTestSuite() {
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(module_, nullptr) << "Tolvane.dll did not load";
    launch = get<LaunchFn>("ZellLaunchApp");
    launchWait = get<LaunchWaitFn>("ZellLaunchAppAndWait");
    running = get<RunningFn>("ZellIsAppRunning");
    end = get<EndFn>("ZellEndApp");
    div = get<DivFn>("ZellDivFormatDouble");
    delimit = get<DelimitFn>("ZellDelimit");
    // Quoted by the caller, as the export takes the program text unchanged.
    child = "\"" + exeDir() + "tolvane_child.exe\"";
  }
  template <class F> static F get(const char* name) { return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name))); }

  // Runs the helper with `args` and returns what it recorded:
  // command line, start-up flags, show state.
  struct Record {
    std::string commandLine;
    unsigned long flags = 0;
    unsigned show = 0;
  };
  static Record readRecord(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    Record r;
    std::getline(in, r.commandLine);
    in >> r.flags >> r.show;
    return r;
  }

  static HMODULE module_;
  LaunchFn launch = nullptr;
  LaunchWaitFn launchWait = nullptr;
  RunningFn running = nullptr;
  EndFn end = nullptr;
  DivFn div = nullptr;
  DelimitFn delimit = nullptr;
  std::string child;
};
HMODULE TolvaneExports::module_ = nullptr;

TEST_F(TolvaneExports, EveryExportByNameAndOrdinal) {
  const char* names[] = {"CheckListBox_Subclass", "CheckListBox_Unsubclass", "ZellDelimit", "ZellDivFormatDouble",
                         "ZellEndApp", "ZellIsAppRunning", "ZellLaunchApp", "ZellLaunchAppAndWait"};
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(names[i]);
    FARPROC byName = GetProcAddress(module_, names[i]);
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(byName, GetProcAddress(module_, MAKEINTRESOURCEA(i + 1)));
  }
}

TEST_F(TolvaneExports, StartedProgramGetsCommandLineAndShowState) {
  const std::string file = exeDir() + "tolvane_child_record.txt";
  std::remove(file.c_str());
  const std::string args = "record \"" + file + "\"";
  ASSERT_EQ(launchWait(child.c_str(), args.c_str(), SW_SHOWMINNOACTIVE, 0), 0);
  Record r = readRecord(file);
  EXPECT_EQ(r.commandLine, child + " " + args);
  EXPECT_TRUE(r.flags & STARTF_USESHOWWINDOW);
  EXPECT_FALSE(r.flags & STARTF_USESTDHANDLES);
  EXPECT_EQ(r.show, unsigned(SW_SHOWMINNOACTIVE));
  std::remove(file.c_str());

  // Empty arguments: the program text alone, no trailing blank; the show
  // value is taken from its low 16 bits, the separate flag from any non-zero.
  const std::string noArgs = exeDir() + "tolvane_child_noargs.txt";
  std::remove(noArgs.c_str());
  ASSERT_EQ(launchWait(child.c_str(), "", 0x10000 | SW_HIDE, 7), 0);
  r = readRecord(noArgs);
  EXPECT_EQ(r.commandLine, child);
  EXPECT_EQ(r.show, unsigned(SW_HIDE));
  std::remove(noArgs.c_str());
}

TEST_F(TolvaneExports, FailedStartLeavesHandleAlone) {
  HANDLE h = reinterpret_cast<HANDLE>(0x1234);
  EXPECT_EQ(launch((exeDir() + "no_such_program.exe").c_str(), "", SW_SHOW, 0, &h), -2);
  EXPECT_EQ(h, reinterpret_cast<HANDLE>(0x1234));
  EXPECT_EQ(launchWait((exeDir() + "no_such_program.exe").c_str(), "x", SW_SHOW, 1), -2);
}

TEST_F(TolvaneExports, RunningProgramIsEndedWithCodeZero) {
  HANDLE h = nullptr;
  ASSERT_EQ(launch(child.c_str(), "sleep", SW_HIDE, 1, &h), 0);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(running(h), 0);
  EXPECT_EQ(running(h), 0); // the handle stays open
  DWORD code = 12345;
  EXPECT_EQ(end(h, &code), 0);
  EXPECT_EQ(code, 0u); // the final code, never "still active"
  DWORD flags = 0;
  EXPECT_FALSE(GetHandleInformation(h, &flags)); // closed
}

TEST_F(TolvaneExports, EndedProgramReportsItsOwnCode) {
  HANDLE h = nullptr;
  ASSERT_EQ(launch(child.c_str(), "exit 42", SW_HIDE, 0, &h), 0);
  ASSERT_EQ(WaitForSingleObject(h, 30000), WAIT_OBJECT_0);
  EXPECT_EQ(running(h), -2);
  EXPECT_EQ(running(h), -2);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(h, &code)); // still open after the tests
  DWORD reported = 0;
  EXPECT_EQ(end(h, &reported), 0);
  EXPECT_EQ(reported, 42u);
  EXPECT_EQ(running(nullptr), -2);
  EXPECT_EQ(running(reinterpret_cast<HANDLE>(0x7ff0)), -2); // not a handle
}

TEST_F(TolvaneExports, NumberExports) {
  char out[32] = "untouched";
  EXPECT_EQ(div(out, 7, 0, 2, '.'), -2);
  EXPECT_STREQ(out, "untouched");
  EXPECT_EQ(div(out, 1, 8, 3, ','), 0);
  EXPECT_STREQ(out, "0,125");
  EXPECT_EQ(div(out, -7, 2, 0x70001, ','), 0); // decimals from the low 16 bits
  EXPECT_STREQ(out, "3,5");
  EXPECT_EQ(div(out, 10, 4, 0, 0x100 | '.'), 0);
  EXPECT_STREQ(out, "3");
  EXPECT_EQ(delimit(out, "1234567.89", ',', '.'), 0);
  EXPECT_STREQ(out, "1,234,567.89");
  EXPECT_EQ(delimit(out, "12345,6", 0x200 | '.', ','), 0);
  EXPECT_STREQ(out, "12.345,6");
}

} // namespace
