// Saves and loads as the file system sees them: links, permissions, long names, files
// that are not regular or far too large.
#include <gtest/gtest.h>

#include <filesystem>

#include "config_file.h"
#include "field_stream.h"
#include "files.h"
#include "keyboard_config.h"
#include "load_limits.h"
#include "raised_message.h"
#include "temp_program_folder.h"

#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string Counted(const std::string& s) {
  return std::string(1, static_cast<char>(s.size())) + s;
}

// Used by the tests of POSIX permissions and links only.
[[maybe_unused]] MemoryBuffer BufferOf(const std::string& bytes) {
  return MemoryBuffer{{bytes.begin(), bytes.end()}, 0};
}

class FileTransfer : public ::testing::Test {
 protected:
  void SetUp() override { SetDefaults(); }
  TempProgramFolder folder;
};

#ifndef _WIN32

constexpr uid_t Nobody = 65534;

// Runs action as a user without privileges and gives back the message it raised (or
// "(nothing raised)"). Root ignores file permissions, so under root the action runs in
// a child process that has dropped to "nobody"; the files it needs must be handed to
// that user first (HandOver).
std::string MessageAsUnprivileged(const std::function<void()>& action) {
  if (::geteuid() != 0) return MessageOf(action);
  int pipeEnds[2];
  if (::pipe(pipeEnds) != 0) return "(no pipe)";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipeEnds[0]);
    std::string message = "(could not drop privileges)";
    if (::setgroups(0, nullptr) == 0 && ::setgid(Nobody) == 0 && ::setuid(Nobody) == 0)
      message = MessageOf(action);
    [[maybe_unused]] const auto written = ::write(pipeEnds[1], message.data(), message.size());
    ::_exit(0);
  }
  ::close(pipeEnds[1]);
  std::string message;
  char chunk[256];
  for (ssize_t n; (n = ::read(pipeEnds[0], chunk, sizeof chunk)) > 0;) message.append(chunk, n);
  ::close(pipeEnds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return message;
}

// Gives a path to the user MessageAsUnprivileged runs as (nothing to do when not root).
void HandOver(const std::string& path) {
  if (::geteuid() == 0) {
    ASSERT_EQ(::lchown(path.c_str(), Nobody, Nobody), 0) << path;
  }
}

// Whether permissions can be tried here: as a user without privileges, or as root that
// can hand files to "nobody" and drop to that user.
bool CanActAsUnprivileged(const std::string& folder) {
  if (::geteuid() != 0) return true;
  return ::lchown(folder.c_str(), Nobody, Nobody) == 0 &&
         MessageAsUnprivileged([] {}) == "(nothing raised)";
}

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  ::stat(path.c_str(), &info);
  return info.st_mode & 07777;
}

#endif

}  // namespace

#ifndef _WIN32

TEST_F(FileTransfer, PermissionsDecideAsForAnyProgramOfTheUser) {
  if (!CanActAsUnprivileged(folder.Path()))
    GTEST_SKIP() << "running as root without a way to act as the user \"nobody\": root "
                    "ignores file permissions, so they cannot be tried here";
  // A configuration its owner made read-only is refused and stays as it was.
  const std::string readOnly = folder / "CONFIGS/Kept.cfg";
  folder.WriteFile("CONFIGS/Kept.cfg", "old");
  ::chmod(readOnly.c_str(), 0444);
  HandOver(folder.Path());
  HandOver(folder / "CONFIGS");
  HandOver(readOnly);
  EXPECT_EQ(MessageAsUnprivileged([&] { SaveFileWhole(BufferOf("new"), readOnly); }),
            "Cannot create file " + readOnly);
  EXPECT_EQ(folder.ReadFile("CONFIGS/Kept.cfg"), "old");
  EXPECT_EQ(ModeOf(readOnly), 0444u);

  // A writable file in a folder that takes no new file is saved in place, and the exit
  // save goes on to rewrite setup.ini.
  folder.WriteFile("CONFIGS/Shared.cfg", "old");
  folder.WriteFile("setup.ini", Counted("Shared.cfg"));
  HandOver(folder / "CONFIGS/Shared.cfg");
  HandOver(folder / "setup.ini");
  ::chmod((folder / "CONFIGS").c_str(), 0555);
  Config.ConfigName = "Shared.cfg";
  Config.Octave = 6;
  EXPECT_EQ(MessageAsUnprivileged([] { SaveSessionConfig(); }), "(nothing raised)");
  ::chmod((folder / "CONFIGS").c_str(), 0755);
  SetDefaults();
  ReadConfigFile(folder / "CONFIGS/Shared.cfg");
  EXPECT_EQ(Config.Octave, 6);
  EXPECT_EQ(folder.ReadFile("setup.ini"), Counted("Shared.cfg"));

  // A new file in such a folder cannot be made at all.
  ::chmod((folder / "CONFIGS").c_str(), 0555);
  const std::string fresh = folder / "CONFIGS/Fresh.cfg";
  EXPECT_EQ(MessageAsUnprivileged([&] { SaveFileWhole(BufferOf("x"), fresh); }),
            "Cannot create file " + fresh);
  ::chmod((folder / "CONFIGS").c_str(), 0755);
}

TEST_F(FileTransfer, AReplacedFileKeepsItsPermissionsAndLeavesNoTemporary) {
  const std::string target = folder / "CONFIGS/Private.cfg";
  folder.WriteFile("CONFIGS/Private.cfg", "old");
  ::chmod(target.c_str(), 0640);
  SaveFileWhole(BufferOf("new content"), target);
  EXPECT_EQ(ModeOf(target), 0640u);
  EXPECT_EQ(folder.ReadFile("CONFIGS/Private.cfg"), "new content");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder / "CONFIGS"), fs::directory_iterator()), 1);
}

TEST_F(FileTransfer, LinkedSetupAndConfigurationAreWrittenThroughTheirLinks) {
  // Both files live elsewhere (a shared folder); the program folder holds links to them,
  // the pointer by an absolute link, the configuration by a relative one.
  folder.WriteFile("shared/setup.ini", Counted("Linked.cfg"));
  folder.WriteFile("shared/Linked.cfg", "");
  fs::create_symlink(folder / "shared/setup.ini", folder / "setup.ini");
  fs::create_symlink("../shared/Linked.cfg", folder / "CONFIGS/Linked.cfg");
  Config.ConfigName = "Linked.cfg";
  Config.Octave = 5;
  SaveSessionConfig();

  EXPECT_TRUE(fs::is_symlink(folder / "setup.ini"));
  EXPECT_TRUE(fs::is_symlink(folder / "CONFIGS/Linked.cfg"));
  EXPECT_EQ(folder.ReadFile("shared/setup.ini"), Counted("Linked.cfg"));
  SetDefaults();
  ReadConfigFile(folder / "shared/Linked.cfg");
  EXPECT_EQ(Config.Octave, 5);
}

#endif

TEST_F(FileTransfer, TheLongestNameARecordHoldsSavesAtExit) {
  for (const std::size_t length : {246u, 255u}) {
    const std::string name = std::string(length - 4, 'n') + ".cfg";
    Config.ConfigName = name;
    ASSERT_EQ(Config.ConfigName.size(), length);
    EXPECT_EQ(MessageOf([] { SaveSessionConfig(); }), "(nothing raised)") << length;
    EXPECT_TRUE(FileExists(folder / ("CONFIGS/" + name))) << length;
    EXPECT_EQ(folder.ReadFile("setup.ini"), Counted(name)) << length;
  }
}

TEST_F(FileTransfer, LoadsTakeRegularFilesOfAPlausibleSizeOnly) {
  // Exactly at the bound loads; one byte more is refused before anything is read.
  folder.WriteFile("PATCHES/big.kit", std::string(1000, 'x'));
  EXPECT_EQ(LoadFileWhole(folder / "PATCHES/big.kit", 1000).Bytes.size(), 1000u);
  folder.WriteFile("PATCHES/big.kit", std::string(1025, 'x'));
  EXPECT_EQ(MessageOf([&] { LoadFileWhole(folder / "PATCHES/big.kit", 1024); }),
            "File too large: " + (folder / "PATCHES/big.kit") + " (more than 1 KB)");

  // A configuration naming a file too large for its kind loads nothing from it.
  folder.WriteFile("CONFIGS/huge.cfg", Counted(ConfigMagic) + std::string(ConfigFileLimit, 0));
  Config.Octave = 7;
  EXPECT_EQ(MessageOf([&] { ReadConfigFile(folder / "CONFIGS/huge.cfg"); }),
            "File too large: " + (folder / "CONFIGS/huge.cfg") + " (more than 64 KB)");
  EXPECT_EQ(Config.Octave, 7);

#ifndef _WIN32
  // A name joined onto a data folder may lead to a device or a FIFO: neither is read
  // (the first would fill the memory, the second would wait for ever).
  const std::string device = folder / "SKINS/../../../../../../../../dev/zero";
  EXPECT_EQ(MessageOf([&] { LoadFileWhole(device, SkinFileLimit); }), "Cannot open file " + device);
  const std::string fifo = folder / "KEYMAPS/pipe.key";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  EXPECT_EQ(MessageOf([&] { LoadFileWhole(fifo, KeyMapFileLimit); }), "Cannot open file " + fifo);
  // A link to a regular file is as good as the file.
  fs::create_symlink(folder / "PATCHES/big.kit", folder / "PATCHES/link.kit");
  EXPECT_EQ(LoadFileWhole(folder / "PATCHES/link.kit", 2048).Bytes.size(), 1025u);
#endif
}
