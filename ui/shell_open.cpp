#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include "main_window.h"

#ifdef _WIN32
// <windows.h> first: <shellapi.h> needs its types (kept in this order by hand).
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on
#endif

void ShellOpen(const std::string& fileName, const std::string& workingFolder) {
#ifdef _WIN32
  // The full name: a bare one would be looked for in the current folder first.
  const std::string path = workingFolder + fileName;
  ShellExecuteA(Form1 != nullptr ? reinterpret_cast<HWND>(Form1->winId()) : nullptr, "open",
                path.c_str(), nullptr, workingFolder.c_str(), SW_SHOWNORMAL);
#else
  const QString name = QString::fromLocal8Bit(fileName.c_str());
  const QString folder = QString::fromLocal8Bit(workingFolder.c_str());
  if (name.endsWith(QStringLiteral(".exe"), Qt::CaseInsensitive)) {
    // A Windows program name stands for this platform's program of the same name.
    const QString program = folder + name.left(name.size() - 4);
    const QFileInfo info(program);
    if (info.isFile() && info.isExecutable()) QProcess::startDetached(program, {}, folder);
    return;
  }
  const QString document = folder + name;
  if (QFileInfo(document).isFile()) QDesktopServices::openUrl(QUrl::fromLocalFile(document));
#endif
}
