#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#include <stb_image.h>

#include "output_folder.h"
#include "preview_run.h"
#include "scenario.h"
#include "support/unique_folder.h"

namespace fs = std::filesystem;

namespace {

class PreviewRun : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = MakeUniqueTempFolder("vermiltrace-preview-" + std::string(info->name()));
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  void Write(const std::string& name, const std::string& text) const {
    std::ofstream(Path(name), std::ios::binary) << text;
  }

  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // The message of the run's error, with the directory holding nothing but the inputs.
  std::string FailedRun(const PreviewOptions& options, int status = 1) {
    std::vector<fs::path> before(fs::directory_iterator(dir_), fs::directory_iterator{});
    std::ostringstream progress;
    std::string message;
    try {
      RunPreview(options, progress);
    } catch (const PreviewError& error) {
      message = error.what();
      EXPECT_EQ(error.status, status) << message;
    }
    std::vector<fs::path> after(fs::directory_iterator(dir_), fs::directory_iterator{});
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(after, before) << "left behind by: " << message;
    return message;
  }

  // Runs the preview program on long.txt into out and stops it with signal once it has
  // staged its output: nothing of it may be left.
  void Interrupt(int signal);

  PreviewOptions Options(const std::string& out = "out") const {
    PreviewOptions options;
    options.ini = Path("Vermiltrace.ini");
    options.out = Path(out);
    return options;
  }

  fs::path dir_;
};

// Bytes of a grey PNG that are not zero.
int PaintedPixels(const fs::path& png) {
  int width = 0, height = 0, channels = 0;
  unsigned char* pixels = stbi_load(png.string().c_str(), &width, &height, &channels, 1);
  if (!pixels) return -1;
  int count = static_cast<int>(
      std::count_if(pixels, pixels + width * height, [](unsigned char p) { return p != 0; }));
  stbi_image_free(pixels);
  return count;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

bool HasLine(const std::vector<std::string>& lines, const std::string& start) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& line) { return line.rfind(start, 0) == 0; });
}

TEST_F(PreviewRun, DefaultScenarioOnTheBuiltInPedWritesEverything) {
  Write("Vermiltrace.ini", "[Blood]\r\nMaskSize=128\r\nExitWounds=1\r\nSeamMargin=2\r\n");
  PreviewOptions options = Options();
  std::ostringstream progress;
  PreviewSummary summary = RunPreview(options, progress);
  EXPECT_EQ(summary.pictures, 6 * 2 + 2);  // six snapshots, two cameras, the seam close-up

  fs::path out = options.out;
  std::vector<std::string> log = Lines(Read(out / "Vermiltrace.log"));
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0], "Vermiltrace loaded");
  EXPECT_TRUE(HasLine(log, "render hook installed"));
  EXPECT_TRUE(HasLine(log, "render: first blood pass through the ped pipeline (2 materials)"));
  EXPECT_TRUE(HasLine(log, "aim w22 p3 ped "));  // the aimed pistol shot
  EXPECT_TRUE(HasLine(log, "aim w34 p9 ped "));  // the rifle head shot
  EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& line) {
    return line.rfind("aim w34 p3 ped ", 0) == 0 && line.find(", exit, ") != std::string::npos;
  }));                                              // the sniper's bullet through the chest
  EXPECT_TRUE(HasLine(log, "damage w4 p6 ped "));   // the knife
  EXPECT_TRUE(HasLine(log, "damage w16 p3 ped "));  // the grenade
  EXPECT_TRUE(HasLine(log, "corpse w22 ped "));     // a shot into the corpse
  EXPECT_FALSE(HasLine(log, "render: blood texture"));

  // Every mesh a wound was painted on has a mask with blood in it.
  std::vector<std::string> masks;
  for (const auto& entry : fs::directory_iterator(out / "masks")) {
    masks.push_back(entry.path().filename().string());
    EXPECT_GT(PaintedPixels(entry.path()), 0) << entry.path();
  }
  std::sort(masks.begin(), masks.end());
  EXPECT_EQ(masks, (std::vector<std::string>{"body-material0.png", "body-material1.png",
                                             "head-material0.png"}));

  int width = 0, height = 0, channels = 0;
  ASSERT_TRUE(stbi_info((out / "contact-sheet.png").string().c_str(), &width, &height, &channels));
  EXPECT_GT(width, 5 * 220);
  EXPECT_GT(height, 2 * 400);

  std::ostringstream json;
  json << "{\n  \"wounds\": " << summary.wounds
       << ",\n  \"layers\": 3,\n  \"painted_texels\": " << summary.paintedTexels
       << ",\n  \"mask_bytes\": " << summary.maskBytes
       << ",\n  \"texture_bytes\": " << 3 * 256 * 128 * 4
       << ",\n  \"reused_texels\": 0.0000,\n  \"mirror_straddling_triangles\": 0"
       << ",\n  \"pose\": \"own pose\",\n  \"memory_evictions\": 0,\n  \"painted\": true,\n  "
          "\"note\": \"\"\n}\n";
  EXPECT_EQ(Read(out / "summary.json"), json.str());
  EXPECT_GE(summary.wounds, 14);
  EXPECT_GT(summary.paintedTexels, 1000);
  EXPECT_GT(summary.maskBytes, 0);  // only the tiles blood reached
  EXPECT_LT(summary.maskBytes, 3 * 256 * 128);
  EXPECT_TRUE(HasLine(Lines(progress.str()), "wrote "));

  // A second run replaces the first; nothing else is left in the directory.
  Write("again.txt", "1 shot pistol chest\n2 snapshot - one shot\n");
  options.scenario = Path("again.txt");
  RunPreview(options, progress);
  EXPECT_EQ(summary.masks, 3);
  std::vector<std::string> entries;
  for (const auto& entry : fs::directory_iterator(dir_)) {
    entries.push_back(entry.path().filename().string());
  }
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"Vermiltrace.ini", "again.txt", "out"}));
  EXPECT_FALSE(fs::exists(out / "plugin"));
  ASSERT_TRUE(stbi_info((out / "animation.png").string().c_str(), &width, &height, &channels));
  EXPECT_EQ(Read(out / "animation.png").find("acTL"), 37u);  // an animated PNG

  // A run that paints nothing says so.
  Write("none.txt", "1 snapshot - untouched\n");
  options.scenario = Path("none.txt");
  RunPreview(options, progress);
  EXPECT_NE(Read(out / "summary.json").find("\"painted\": false"), std::string::npos);
  EXPECT_NE(progress.str().find("; nothing was painted: the scenario has no shot"),
            std::string::npos);
}

TEST_F(PreviewRun, BadScenarioLineIsNamedAndNothingIsWritten) {
  Write("Vermiltrace.ini", "[Blood]\r\n");
  Write("bad.txt", "# two good lines, then a bad one\n1 shot pistol chest\n2 jump - up\n");
  PreviewOptions options = Options("nested/out");
  options.scenario = Path("bad.txt");
  std::string message = FailedRun(options);
  EXPECT_EQ(message.rfind(Path("bad.txt") + ":3: unknown event kind 'jump'", 0), 0u) << message;

  // Times that only go wrong with the ini's values fail after start-up: still nothing kept.
  Write("Vermiltrace.ini", "[Blood]\r\nFlowTime=30\r\n");
  Write("late.txt", "+FlowTime snapshot - a\n20 snapshot - b\n");
  options.scenario = Path("late.txt");
  message = FailedRun(options);
  EXPECT_EQ(message, Path("late.txt") + ":2: time 20 s is before the previous event at 30 s");
}

TEST_F(PreviewRun, MissingOrUnusableInputsAreNamed) {
  Write("Vermiltrace.ini", "[Blood]\r\n");
  Write("notes.obj", "# just a comment, no faces\n");
  struct Case {
    const char* name;
    std::string PreviewOptions::*field;
    std::string value;
    std::string start;
  };
  const Case cases[] = {
      {"missing ini", &PreviewOptions::ini, Path("none.ini"), Path("none.ini") + ": cannot read"},
      {"missing scenario", &PreviewOptions::scenario, Path("none.txt"),
       Path("none.txt") + ": cannot read"},
      {"scenario is a directory", &PreviewOptions::scenario, dir_.string(),
       dir_.string() + ": cannot read"},
      {"missing model", &PreviewOptions::model, Path("none.x"), Path("none.x") + ": cannot read"},
      {"bones without a model", &PreviewOptions::bones, Path("notes.obj"), Path("notes.obj")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PreviewOptions options = Options();
    options.*c.field = c.value;
    std::string message = FailedRun(options);
    EXPECT_EQ(message.rfind(c.start, 0), 0u) << message;
  }

  PreviewOptions model = Options();
  model.model = Path("notes.obj");
  std::string message = FailedRun(model);
  EXPECT_NE(message.find(Path("notes.obj")), std::string::npos) << message;

  // An output path that is a file is refused before anything is made.
  Write("file", "x");
  PreviewOptions clash = Options("file");
  message = FailedRun(clash);
  EXPECT_EQ(message, Path("file") + ": exists and is not a directory");
}

TEST_F(PreviewRun, AFolderThePreviewDidNotWriteIsKeptUnlessForced) {
  Write("Vermiltrace.ini", "[Blood]\r\n");
  Write("one.txt", "0 snapshot - x\n");
  fs::create_directories(dir_ / "out" / "sub");
  Write("out/notes.txt", "mine");
  Write("out/sub/y", "mine too");
  PreviewOptions options = Options();
  options.scenario = Path("one.txt");
  const std::string message = FailedRun(options);
  EXPECT_EQ(message.rfind(Path("out") + ": holds files that vermiltrace-preview did not write", 0),
            0u)
      << message;
  EXPECT_EQ(Read(dir_ / "out" / "notes.txt"), "mine");
  EXPECT_EQ(Read(dir_ / "out" / "sub" / "y"), "mine too");

  options.force = true;
  std::ostringstream progress;
  RunPreview(options, progress);
  EXPECT_FALSE(fs::exists(dir_ / "out" / "notes.txt"));
  EXPECT_TRUE(fs::exists(dir_ / "out" / kOutputMarker));
}

// A staged folder that cannot be made is named at once, whatever the next one does.
TEST_F(PreviewRun, AStagedFolderThatCannotBeMadeIsNamed) {
  StagedOutput staged(dir_ / "out", false);
  std::ofstream(staged.Dir() / "masks") << "a file where the folder goes";
  EXPECT_THROW(staged.Folder("masks"), PreviewError);
  EXPECT_TRUE(fs::is_directory(staged.Folder("pictures")));
}

// A later run replaces only the files the preview wrote: what the user added stays, and a
// file of the user's where the run would write stops it before anything is replaced.
TEST_F(PreviewRun, TheNextRunLeavesTheUsersFilesAlone) {
  Write("Vermiltrace.ini", "[Blood]\r\nMaskSize=64\r\n");
  Write("shot.txt", "0 shot pistol chest\n1 snapshot - x\n");
  Write("none.txt", "0 snapshot - x\n");
  PreviewOptions options = Options("out/");  // a trailing separator names the same folder
  options.scenario = Path("shot.txt");
  std::ostringstream progress;
  RunPreview(options, progress);
  ASSERT_TRUE(fs::exists(dir_ / "out" / "masks" / "body-material1.png"));
  Write("out/notes.txt", "mine");
  Write("out/masks/mine.png", "mine too");

  options.scenario = Path("none.txt");  // paints no mask
  RunPreview(options, progress);
  EXPECT_EQ(Read(dir_ / "out" / "notes.txt"), "mine");
  EXPECT_EQ(Read(dir_ / "out" / "masks" / "mine.png"), "mine too");
  EXPECT_FALSE(fs::exists(dir_ / "out" / "masks" / "body-material1.png"));
  EXPECT_TRUE(fs::exists(dir_ / "out" / "contact-sheet.png"));

  Write("out/animation.png", "mine now");
  fs::remove(dir_ / "out" / "masks" / "mine.png");
  Write("out/masks/body-material1.png", "mine as well");
  options.scenario = Path("shot.txt");
  const std::string message = FailedRun(options);
  EXPECT_NE(message.find("did not write it; nothing was replaced"), std::string::npos) << message;
  EXPECT_EQ(Read(dir_ / "out" / "masks" / "body-material1.png"), "mine as well");
  EXPECT_EQ(Read(dir_ / "out" / "notes.txt"), "mine");
}

// The blood a run lost to BloodMemory is named as the reason nothing shows.
TEST_F(PreviewRun, BloodLostToTheMemoryBudgetIsNamed) {
  Write("Vermiltrace.ini", "[Blood]\r\nMaskSize=1024\r\nBloodMemory=16\r\n");
  Write("shot.txt", "0 shot pistol chest\n0 shot pistol left-arm\n1 snapshot - x\n");
  PreviewOptions options = Options();
  options.scenario = Path("shot.txt");
  std::ostringstream progress;
  PreviewSummary summary = RunPreview(options, progress);
  EXPECT_GT(summary.memoryEvictions, 0);
  EXPECT_NE(Read(dir_ / "out" / "summary.json").find("BloodMemory evicted the ped's blood"),
            std::string::npos);
}

#ifndef _WIN32
// A folder reached through a symbolic link gets the files; the link stays.
TEST_F(PreviewRun, AnOutputLinkIsWrittenThrough) {
  Write("Vermiltrace.ini", "[Blood]\r\nMaskSize=64\r\n");
  Write("none.txt", "0 snapshot - x\n");
  fs::create_directories(dir_ / "real");
  Write("real/keep.txt", "mine");
  fs::create_directory_symlink(dir_ / "real", dir_ / "link");
  Write("real/" + std::string(kOutputMarker), "written by vermiltrace-preview\n");
  PreviewOptions options = Options("link");
  options.scenario = Path("none.txt");
  std::ostringstream progress;
  RunPreview(options, progress);
  EXPECT_TRUE(fs::is_symlink(dir_ / "link"));
  EXPECT_TRUE(fs::exists(dir_ / "real" / "contact-sheet.png"));
  EXPECT_EQ(Read(dir_ / "real" / "keep.txt"), "mine");

  fs::create_symlink(dir_ / "real" / "keep.txt", dir_ / "file-link");
  EXPECT_EQ(FailedRun(Options("file-link")),
            Path("file-link") + ": is a symbolic link that does not lead to a folder; refused");
}

TEST_F(PreviewRun, EndlessOrOversizedInputsAreRefusedAtOnce) {
  Write("Vermiltrace.ini", "[Blood]\r\n");
  Write("huge.txt", std::string(kMaxTextInputBytes + 1, '#'));
  const struct {
    std::string PreviewOptions::*field;
    std::string value;
    std::string message;
  } cases[] = {
      {&PreviewOptions::scenario, "/dev/zero",
       "/dev/zero: the scenario is larger than 4 MiB; refused"},
      {&PreviewOptions::ini, "/dev/zero", "/dev/zero: the ini file is larger than 4 MiB; refused"},
      {&PreviewOptions::scenario, Path("huge.txt"),
       Path("huge.txt") + ": the scenario is larger than 4 MiB; refused"},
      {&PreviewOptions::model, "/dev/zero", "/dev/zero: cannot read the model: not a plain file"},
  };
  for (const auto& c : cases) {
    PreviewOptions options = Options();
    options.*c.field = c.value;
    EXPECT_EQ(FailedRun(options), c.message);
  }
}

TEST_F(PreviewRun, AModelWithoutTextureCoordinatesSaysSoWithStatus2) {
  Write("Vermiltrace.ini", "[Blood]\r\n");
  Write("box.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 2\nf 1 2 3\nf 1 3 4\n");
  PreviewOptions options = Options();
  options.model = Path("box.obj");
  EXPECT_EQ(FailedRun(options, 2), Path("box.obj") +
                                       " has no texture coordinates: blood is painted in texture "
                                       "space, so nothing can show");
}

TEST_F(PreviewRun, AnInterruptedRunLeavesNoStagingFolder) {
  Write("Vermiltrace.ini", "[Blood]\r\n");
  Write("long.txt", "0 shot pistol chest\n80000 snapshot - much later\n");
  for (int signal : {SIGTERM, SIGHUP}) Interrupt(signal);
}

void PreviewRun::Interrupt(int signal) {
  SCOPED_TRACE(signal);
  pid_t child = fork();
  if (child == 0) {
    execl(VT_PREVIEW_PROGRAM, VT_PREVIEW_PROGRAM, "--ini", Path("Vermiltrace.ini").c_str(),
          "--scenario", Path("long.txt").c_str(), "--out", Path("out").c_str(), nullptr);
    _exit(127);
  }
  auto staged = [&] {
    for (const auto& entry : fs::directory_iterator(dir_)) {
      if (entry.path().filename().string().rfind(".out.partial-", 0) == 0) return true;
    }
    return false;
  };
  while (!staged()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  kill(child, signal);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + signal) << status;
  std::vector<std::string> entries;
  for (const auto& entry : fs::directory_iterator(dir_))
    entries.push_back(entry.path().filename().string());
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"Vermiltrace.ini", "long.txt"}));
}

TEST_F(PreviewRun, CommandLineExitsNonZeroOnErrors) {
  std::string program = VT_PREVIEW_PROGRAM;
  auto run = [&](const std::string& arguments) {
    return std::system(
        (program + " " + arguments + " > " + Path("stdout") + " 2> " + Path("stderr")).c_str());
  };
  EXPECT_EQ(run("--help"), 0);
  EXPECT_NE(run("--frobnicate"), 0);
  EXPECT_NE(run("--scenario " + Path("none.txt") + " --out " + Path("out")), 0);
  EXPECT_EQ(Read(Path("stderr")), "vermiltrace-preview: error: " + Path("none.txt") +
                                      ": cannot read the scenario: no such file or no access\n");
  EXPECT_FALSE(fs::exists(Path("out")));
}
#endif

}  // namespace
