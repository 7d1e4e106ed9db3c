// The program entry: the application, its title, the main window and the event loop.
#include <QApplication>
#include <cstdlib>
#include <string>
#include <vector>

#include "Unit1/Application.h"
#include "Unit1/MainThreadWake.h"
#include "Unit1/QtDialogService.h"
#include "Unit1/Translations.h"
#include "Unit1/Unit1.h"
#include "link/SettingsFile.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("tolvane"));
  InstallMainThreadWake();
  LoadTranslations(QCoreApplication::applicationDirPath().toStdString(),
                   [](const char* name) { return std::getenv(name); });

  TQtDialogService dialogs;
  InstallApplicationExceptionHandler(dialogs);
  // The toolkit has taken its own options out of argv by now.
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  TForm1 Form1(dialogs, arguments, DefaultSettingsFilePath());
  dialogs.SetParent(&Form1);
  return Form1.Exec();
}
