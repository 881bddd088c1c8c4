#pragma once

#include <string>

// A fresh program folder under the system's temporary folder with the data sub-folders
// (CONFIGS, SKINS, KEYMAPS, PATCHES, HELP) created empty; installed as the program
// folder for the test and removed with everything in it afterwards.
class TempProgramFolder {
 public:
  TempProgramFolder();
  ~TempProgramFolder();
  TempProgramFolder(const TempProgramFolder&) = delete;
  TempProgramFolder& operator=(const TempProgramFolder&) = delete;

  // The folder with its trailing separator.
  const std::string& Path() const { return path_; }
  // folder + relative, its "/" written as the platform's separator: the path as the
  // program itself forms it (and shows it in its boxes).
  std::string operator/(const std::string& relative) const;

  void WriteFile(const std::string& relative, const std::string& bytes) const;
  std::string ReadFile(const std::string& relative) const;  // empty when missing

 private:
  std::string path_;
};
