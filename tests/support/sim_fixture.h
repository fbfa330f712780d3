// SimTest: a fresh plug-in process for every test. The system state is reset, the plug-in
// directory is a new temporary directory, the tick count is fixed (reproducible seeds),
// message boxes are recorded instead of shown, and State().host is the test's SimHost.
// Start() runs the start-up, Stop() the shutdown. Tests of the libraries below the
// plug-in use LayerTest (layer_fixture.h) instead.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "host/sim/sim_host.h"
#include "plugin/handlers.h"
#include "plugin/vermiltrace.h"

// A message box start-up showed.
struct MessageBoxRecord {
  void* owner;
  std::string text;
  std::string caption;
  uint32_t style;
};

// A fresh temporary plug-in directory for every test (as if the library were
// <dir>Vermiltrace.asi), with the log closed, and what the test finds there.
class FolderTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kTicks = 0x1234;  // the fixed tick count of every test

  void SetUp() override;
  void TearDown() override;

  // The plug-in directory, ending with a separator, and a file in it.
  const std::string& Dir() const { return dir_; }
  std::string PathOf(const std::string& name) const { return dir_ + name; }

  // Writes Vermiltrace.ini (or any file) with exactly these bytes.
  void WriteIni(const std::string& text) const { WriteFile("Vermiltrace.ini", text); }
  void WriteFile(const std::string& name, const std::string& bytes) const;

  bool LogExists() const;
  // Vermiltrace.log as bytes, and as lines with their CR LF removed (a last line
  // without CR LF is returned as it is).
  std::string ReadLogBytes() const;
  std::vector<std::string> ReadLogLines() const;

  // The log closed and the plug-in's paths in the test's directory, as at process start.
  void ResetPlatform();

 private:
  std::string dir_;
};

class SimTest : public FolderTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The start-up's options: the fixed tick count, message boxes into MessageBoxes(); the
  // plug-in directory as the process state holds it.
  StartupOptions Options();
  // A message box call that records into MessageBoxes() and answers OK (1).
  MessageBoxCall RecordingMessageBoxes();
  const std::vector<MessageBoxRecord>& MessageBoxes() const { return boxes_; }

  // Start-up and shutdown of the system on sim.
  Vermiltrace& Start();
  void Stop();
  // Shutdown, then a fresh process state (the log stream closed, as at process exit),
  // keeping the plug-in directory and sim.
  void NewProcess();

  SimHost sim;
  std::optional<Vermiltrace> system;

 private:
  void ResetProcess();
  std::vector<MessageBoxRecord> boxes_;
};

// Reads a whole file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
