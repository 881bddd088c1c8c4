// Names in any language: menus and error boxes show file names as the file system names
// them, and a chosen name goes into the settings record byte for byte.
#include <QFile>

#include "keyboard_config.h"
#include "window_fixture.h"

TEST_F(WindowTest, NamesShowAndGoBackAsTheFileSystemNamesThem) {
  // "Zoë.bmp" as the program names files: in the ANSI code page on Windows (Western
  // here), in UTF-8 elsewhere.
#ifdef _WIN32
  const std::string zoe = "Zo\xEB.bmp";
#else
  const std::string zoe = "Zo\xC3\xAB.bmp";
#endif
  SaveBmp(MakeTestSkin(140, 80), folder / ("SKINS/" + zoe));
  CreateWindow();
  QAction* item = Item(form->Skin1, 2);  // after Classic.bmp and Small.bmp
  EXPECT_EQ(item->text(), QString::fromUtf8("Zo\xC3\xAB.bmp"));
  item->trigger();
  EXPECT_EQ(Config.SkinFile, zoe);
  EXPECT_EQ(form->ClientSize(), QSize(420, 40));

  // The path in an error box reads as it does in the file manager.
  ASSERT_TRUE(QFile::remove(QString::fromLocal8Bit(folder / ("SKINS/" + zoe))));
  boxes->Boxes.clear();
  item->trigger();
  ASSERT_EQ(boxes->Boxes.size(), 1u);
  const std::string path = folder / ("SKINS/" + zoe);
  EXPECT_EQ(QString::fromStdString(boxes->Boxes[0].Text),
            "Cannot open file " + QString::fromLocal8Bit(path) + ".");
}
