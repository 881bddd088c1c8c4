#include "about_box.h"

#include <QFont>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>

#include "application.h"
#include "files.h"
#include "main_window.h"

namespace {
constexpr int ClientWidth = 273;
constexpr int ClientHeight = 89;
constexpr int BandTop = 68;
}  // namespace

QImage MakeAboutPicture() {
  QImage picture(277, 91, QImage::Format_RGB888);
  picture.fill(QColor(236, 240, 246));
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  // A row of small keys as the emblem.
  for (int i = 0; i < 7; ++i) {
    painter.fillRect(QRect(8 + i * 9, 12, 8, 40), Qt::white);
    painter.setPen(QColor(90, 90, 110));
    painter.drawRect(QRect(8 + i * 9, 12, 8, 40));
  }
  for (int i : {0, 1, 3, 4, 5}) painter.fillRect(QRect(14 + i * 9, 12, 5, 24), QColor(30, 30, 40));
  QFont font(QStringLiteral("Sans Serif"));
  font.setPixelSize(30);
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(QColor(34, 52, 96));
  painter.drawText(QRect(78, 6, 199, 40), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Tessivar"));
  QFont small(QStringLiteral("Sans Serif"));
  small.setPixelSize(11);
  painter.setFont(small);
  painter.setPen(QColor(70, 80, 110));
  painter.drawText(QRect(80, 44, 197, 18), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("version 1.5 - keyboard to MIDI"));
  painter.fillRect(QRect(0, BandTop, 277, 91 - BandTop), QColor(28, 36, 58));
  painter.end();
  return picture;
}

TFormAbout::TFormAbout() : picture_(MakeAboutPicture()) {
  setObjectName("FormAbout");
  setWindowTitle(QStringLiteral("About Tessivar v1.5"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
  setFixedSize(ClientWidth, ClientHeight);
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPixelSize(11);
  setFont(font);

  HomepageButton = new QPushButton(QStringLiteral("Homepage"), this);
  HomepageButton->setObjectName("HomepageButton");
  HomepageButton->setGeometry(96, 72, 73, 17);
  CloseButton = new QPushButton(QStringLiteral("Close"), this);
  CloseButton->setObjectName("CloseButton");
  CloseButton->setGeometry(168, 72, 105, 17);
  for (QPushButton* button : {HomepageButton, CloseButton}) {
    button->setAutoDefault(false);
    button->setDefault(false);
  }
  CloseButton->raise();
  setTabOrder(CloseButton, HomepageButton);
  connect(CloseButton, &QPushButton::clicked, this,
          [this] { RunGuarded([this] { CloseClick(); }); });
  connect(HomepageButton, &QPushButton::clicked, this,
          [this] { RunGuarded([this] { HomepageClick(); }); });
}

void TFormAbout::CloseClick() { done(1); }

void TFormAbout::HomepageClick() { ShellOpen("zembrell.url", ProgramFolder()); }

void TFormAbout::keyPressEvent(QKeyEvent* event) {
  // No button is the cancel button: Escape does not end the box, only "Close" and the
  // close box do.
  if (event->matches(QKeySequence::Cancel)) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TFormAbout::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(QPoint(0, 0), picture_);  // unscaled: the right and bottom edges are cut off
}

void TFormAbout::showEvent(QShowEvent* event) {
  if (!placed_ && Form1 != nullptr) {
    // Centred over the main window the first time; after that where the user left it.
    const QRect main = Form1->frameGeometry();
    move(main.left() + (main.width() - frameGeometry().width()) / 2,
         main.top() + (main.height() - frameGeometry().height()) / 2);
  }
  placed_ = true;
  QDialog::showEvent(event);
  CloseButton->setFocus(Qt::TabFocusReason);
}
