#pragma once

#include <QDialog>
#include <QImage>

class QPushButton;

// The About box: the product picture with "Homepage" and "Close" on its dark band.
// Created hidden at start-up and kept for the whole run.
class TFormAbout : public QDialog {
  Q_OBJECT

 public:
  TFormAbout();

  QPushButton* HomepageButton = nullptr;
  QPushButton* CloseButton = nullptr;
  const QImage& Picture() const { return picture_; }

  void CloseClick();
  void HomepageClick();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  QImage picture_;
  bool placed_ = false;
};

// The 277 x 91, 24-bit picture of the product name.
QImage MakeAboutPicture();
