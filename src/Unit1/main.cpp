// The program entry: the application, its title, the main window and the event loop.
#include <QApplication>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "Unit1/Application.h"
#include "Unit1/MainThreadWake.h"
#include "Unit1/QtDialogService.h"
#include "Unit1/Translations.h"
#include "Unit1/Unit1.h"
#include "framework/ProgramFolders.h"
#include "link/SettingsFile.h"
#include "os/Console.h"

namespace {

void PrintHelp(const std::string& settingsPath) {
  std::cout << "Usage: tolvane [FILE]\n"
               "The window of the Tolvane II, a USB-serial programmer for PIC16 flash "
               "microcontrollers.\n\n"
               "  FILE       an Intel HEX file to write unattended: it is written as soon as the\n"
               "             chip is identified, and the program ends by itself, with exit\n"
               "             status 0 once the programmer has confirmed the image, else 1\n"
               "  --help     print this help and exit\n"
               "  --version  print the version and exit\n\n"
               "Settings (the last used port): "
            << settingsPath << "\nSee tolvane(1).\n";
}

}  // namespace

int main(int argc, char* argv[]) {
  Os::KeepStandardStreamsOpen();
  // Answered before the toolkit starts, so that they need no display.
  if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
    std::cout << "tolvane " TOLVANE_VERSION "\n";
    return 0;
  }
  if (argc > 1 && std::strcmp(argv[1], "--help") == 0) {
    PrintHelp(DefaultSettingsFilePath());
    return 0;
  }

  QApplication application(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("tolvane"));
  // Ties the window to its desktop entry and icon.
  QGuiApplication::setDesktopFileName(QStringLiteral(TOLVANE_APP_ID));
  InstallMainThreadWake();
  LoadTranslations(ExecutableDir(), [](const char* name) { return std::getenv(name); });

  TQtDialogService dialogs;
  InstallApplicationExceptionHandler(dialogs);
  // The toolkit has taken its own options out of argv by now.
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  TForm1 Form1(dialogs, arguments, DefaultSettingsFilePath());
  dialogs.SetParent(&Form1);
  return Form1.Exec();
}
