// The plug-in path store and the log file: exact bytes, flushing, truncation, odd paths.
#include <cstring>
#include <string>

#include "core/log.h"
#include "core/platform.h"
#include "core/plugin_paths.h"
#include "plugin/system_state.h"
#include "support/sim_fixture.h"

namespace {

class LogFile : public SimTest {};

TEST_F(LogFile, LinesEndWithCrLfAndAreFlushedBeforeTheWriterReturns) {
  OpenLog();
  ASSERT_TRUE(LogOpen());
  LogLine("first %d", 1);
  EXPECT_EQ(ReadLogBytes(), "first 1\r\n");  // the stream is still open: flushed already
  LogLine("ped %s", "x");
  EXPECT_EQ(ReadLogBytes(), "first 1\r\nped x\r\n");
}

TEST_F(LogFile, SecondStartTruncatesTheFirstRunsLines) {
  Start();
  LogLine("only in the first run");
  NewProcess();
  Start();
  EXPECT_EQ(ReadLogBytes(),
            "Vermiltrace loaded\r\n"
            "damage hook installed, fire hook installed\r\n"
            "render hook installed\r\n");
}

TEST_F(LogFile, ConversionsPrintAlikeOnEveryRuntime) {
  OpenLog();
  const std::string zeros(2 * sizeof(void*) - 4, '0');
  void* pointer = reinterpret_cast<void*>(static_cast<uintptr_t>(0xAB12));
  LogLine("%p|%p|%-*p|", pointer, static_cast<void*>(nullptr), 20, pointer);
  LogLine("%d %i %u %x %X %05d %+d %-4d|", -7, 8, 4000000000u, 255, 255, 42, 3, 9);
  LogLine("%hd %hhu %ld %lld %zu %llx", 70000, 300, -5L, -9000000000LL, static_cast<size_t>(12),
          0x1234567890ULL);
  LogLine("%.1f %.3f %.2f %g %e %5.1f|%-6.2f|%*.*f", 1.25, 0.0005, -2.5, 0.5, 1.0, 2.0, 3.0, 6, 1,
          9.99);
  LogLine("%s|%.3s|%6s|%-6s|%c%c|%%|100%%", "text", "abcdef", "ab", "ab", 'o', 'k');
  std::vector<std::string> lines = ReadLogLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], zeros + "AB12|" + zeros + "0000|" + zeros + "AB12" +
                          std::string(20 - 2 * sizeof(void*), ' ') + "|");
  EXPECT_EQ(lines[1], "-7 8 4000000000 ff FF 00042 +3 9   |");
  EXPECT_EQ(lines[2], "4464 44 -5 -9000000000 12 1234567890");
  EXPECT_EQ(lines[3], "1.2 0.001 -2.50 0.5 1.000000e+00   2.0|3.00  |  10.0");
  EXPECT_EQ(lines[4], "text|abc|    ab|ab    |ok|%|100%");
}

TEST_F(LogFile, LongMessagesAreWrittenWholeAndOddFormatsStaySafe) {
  OpenLog();
  const std::string big(100000, 'q');
  LogLine("<%s>", big.c_str());
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
#pragma GCC diagnostic ignored "-Wformat-extra-args"
#pragma GCC diagnostic ignored "-Wformat-overflow"
#endif
  LogLine("%s %d", static_cast<const char*>(nullptr), 1);
  // %n and unknown conversions are copied as text and take no argument.
  LogLine("%n %q %99999d end %", 5);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
  std::vector<std::string> lines = ReadLogLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "<" + big + ">");
  EXPECT_EQ(lines[1], "(null) 1");
  EXPECT_EQ(lines[2], "%n %q " + std::string(4095, ' ') + "5 end %");
}

TEST_F(LogFile, StopsWithOneLastLineAtItsSizeLimit) {
  OpenLog();
  const std::string filler(1000, 'f');
  for (size_t i = 0; i < kMaxLogBytes / filler.size() + 10; ++i) LogLine("%s", filler.c_str());
  LogLine("after the limit");
  const std::string bytes = ReadLogBytes();
  EXPECT_LE(bytes.size(), kMaxLogBytes);
  EXPECT_GT(bytes.size(), kMaxLogBytes - filler.size() - 100);
  const std::string last = std::string(kLogStoppedLine) + "\r\n";
  ASSERT_GE(bytes.size(), last.size());
  EXPECT_EQ(bytes.substr(bytes.size() - last.size()), last);
  EXPECT_EQ(bytes.find("after the limit"), std::string::npos);
}

TEST_F(LogFile, HeldLinesWaitForTheLogAndAreWrittenOnce) {
  HoldLogLine("held %d", 1);
  HoldLogLine("held %d", 2);
  WriteHeldLogLines();  // closed: dropped
  HoldLogLine("held %d", 3);
  for (size_t i = 0; i < kMaxHeldLogLines; ++i) HoldLogLine("beyond");
  OpenLog();
  LogLine("open");
  WriteHeldLogLines();
  WriteHeldLogLines();
  std::vector<std::string> lines = ReadLogLines();
  ASSERT_EQ(lines.size(), 1 + kMaxHeldLogLines);
  EXPECT_EQ(lines[0], "open");
  EXPECT_EQ(lines[1], "held 3");
  EXPECT_EQ(lines.back(), "beyond");
}

TEST_F(LogFile, NothingIsWrittenWhileTheLogIsClosed) {
  LogLine("lost");
  EXPECT_FALSE(LogOpen());
  EXPECT_FALSE(LogExists());
  EXPECT_FALSE(LogEnabled());
  OpenLog();
  EXPECT_TRUE(LogEnabled());
  SetLogEnabled(false);
  EXPECT_FALSE(LogEnabled());
}

TEST_F(LogFile, PluginPathsSplitAtTheLastSeparatorOfEitherKind) {
  struct PathCase {
    const char* module;
    const char* directory;
    const char* fileName;
  };
  const PathCase cases[] = {
      {"C:\\Games\\GTA/scripts\\Vermiltrace.asi", "C:\\Games\\GTA/scripts\\", "Vermiltrace.asi"},
      {"C:\\Games/GTA\\x/Vermiltrace.asi", "C:\\Games/GTA\\x/", "Vermiltrace.asi"},
      {"Vermiltrace.asi", "Vermiltrace.asi", ""},
      {"dir\\", "dir\\", ""},
  };
  for (const PathCase& test : cases) {
    SCOPED_TRACE(test.module);
    ResetSystemState();
    SetPluginModulePath(test.module, true, RecordingMessageBoxes());
    EXPECT_STREQ(PluginDirectory(), test.directory);
    EXPECT_STREQ(PluginFileName(), test.fileName);
    EXPECT_EQ(std::string(PluginFilePath("Vermiltrace.log")),
              std::string(test.directory) + "Vermiltrace.log");
    EXPECT_TRUE(MessageBoxes().empty());
  }
}

TEST_F(LogFile, MissingModuleHandleShowsOneBoxAndUsesTheExecutablesDirectory) {
  SetPluginModulePath((Dir() + "gta_sa.exe").c_str(), false, RecordingMessageBoxes());
  EXPECT_EQ(std::string(PluginFilePath("Vermiltrace.ini")), Dir() + "Vermiltrace.ini");
  EXPECT_EQ(std::string(PluginFilePath("Vermiltrace.log")), Dir() + "Vermiltrace.log");
  ASSERT_EQ(MessageBoxes().size(), 1u);
  const MessageBoxRecord& box = MessageBoxes()[0];
  EXPECT_EQ(box.owner, platform::ActiveWindow());
  EXPECT_EQ(box.text, "FILESYSTEM\nFailed to retrieve plugin dir path");
  EXPECT_EQ(box.caption, "Vermiltrace");
  EXPECT_EQ(box.style, 0x10u);
}

TEST_F(LogFile, OverLongPathsAreNeverCutIntoAnotherName) {
  // The module path is cut at 260 characters like the platform's; a composed path that
  // would not fit 261 bytes comes back empty and nothing is opened.
  const std::string directory = "C:\\" + std::string(241, 'd') + "\\";  // 245 characters
  SetPluginModulePath((directory + "Vermiltrace.asi").c_str());
  EXPECT_EQ(std::string(PluginFilePath("Vermiltrace.log")), directory + "Vermiltrace.log");
  EXPECT_STREQ(PluginFilePath("Vermiltrace.log2"), "");
  EXPECT_EQ(std::strlen(PluginFilePath("")), 245u);

  ResetSystemState();
  State().host = &sim;
  const std::string longer = "C:\\" + std::string(242, 'd') + "\\";  // 246 characters
  SetPluginModulePath((longer + "Vermiltrace.asi").c_str());
  EXPECT_EQ(std::string(PluginDirectory()), longer);
  EXPECT_STREQ(PluginFileName(), "Vermiltrace.as");  // 260 characters in all
  EXPECT_STREQ(PluginFilePath("Vermiltrace.ini"), "");
  Start();  // reads nothing, opens nothing
  EXPECT_FALSE(LogOpen());
  EXPECT_TRUE(sim.hooked[0] && sim.hooked[1] && sim.hooked[2]);
}

TEST_F(LogFile, UnwritableLogDirectoryLeavesTheLogClosed) {
  WriteFile("plugins", "a file, not a directory");
  SetPluginModulePath((Dir() + "plugins/Vermiltrace.asi").c_str());
  Start();
  EXPECT_FALSE(LogOpen());
  LogLine("skipped");
  EXPECT_TRUE(sim.hooked[0] && sim.hooked[1] && sim.hooked[2]);
  EXPECT_TRUE(sim.eventPatched[0] && sim.eventPatched[3]);
}

}  // namespace
