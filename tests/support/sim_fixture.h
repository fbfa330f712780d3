// SimTest: a fresh plug-in process for every test. The system state is reset, the plug-in
// directory is a new temporary directory, the tick count is fixed (reproducible seeds)
// and State().host is the test's SimHost. Start() runs the start-up, Stop() the shutdown.
// Tests of the libraries below the plug-in use LayerTest (layer_fixture.h) instead.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "host/sim/sim_host.h"
#include "plugin/handlers.h"
#include "plugin/vermiltrace.h"

// A fresh temporary plug-in directory for every test (as if the library were
// <dir>Vermiltrace.asi), with the platform's testing overrides set and the log closed,
// and what the test finds there.
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

  // The log closed and the overrides set again, as at process start.
  void ResetPlatform();

 private:
  std::string dir_;
};

class SimTest : public FolderTest {
 protected:
  void SetUp() override;
  void TearDown() override;

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
};

// Reads a whole file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
