#pragma once

#include <QMessageBox>
#include <QTimer>
#include <string>
#include <vector>

#include "key_map.h"
#include "temp_program_folder.h"

// A program folder whose setup.ini names a configuration with the given key map file
// and octave; the key map itself is written when entries are given.
void UseConfiguration(const TempProgramFolder& folder, const std::string& keyMapFile, int octave);

// Answers every message box that comes up with the given button while it lives, and
// keeps the texts of the boxes it answered.
class BoxAnswerer {
 public:
  explicit BoxAnswerer(QMessageBox::StandardButton button);
  const std::vector<QString>& Texts() const { return texts_; }

 private:
  QMessageBox::StandardButton button_;
  std::vector<QString> texts_;
  QTimer timer_;
};
