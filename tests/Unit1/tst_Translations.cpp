// Catalogs beside the executable put the framework's texts into the user's language.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <map>
#include <memory>

#include "../framework/MoFile.h"
#include "CPort/EComPort.h"
#include "TempDir.h"
#include "Unit1/Application.h"
#include "Unit1/QtDialogService.h"
#include "Unit1/Translations.h"
#include "framework/Translate.h"

namespace {

TEnvironment Lang(const char* value) {
  return [value](const char* name) -> const char* {
    return std::string_view(name) == "LANG" ? value : nullptr;
  };
}

struct TShownBox {
  QString Caption;
  QStringList Buttons;
};

// Answers the next message box with its default button and tells what it showed.
void AnswerNextBox(TShownBox& shown) {
  // The pending timer keeps the answer alive; the answer refers to itself only weakly, so it
  // is released once the box has been answered.
  auto answer = std::make_shared<std::function<void()>>();
  std::weak_ptr<std::function<void()>> self = answer;
  *answer = [&shown, self] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) {
      if (auto again = self.lock()) QTimer::singleShot(10, [again] { (*again)(); });
      return;
    }
    shown.Caption = box->windowTitle();
    for (QAbstractButton* button : box->buttons()) shown.Buttons << button->text();
    shown.Buttons.sort();
    QTest::keyClick(box, Qt::Key_Return);
  };
  QTimer::singleShot(0, [answer] { (*answer)(); });
}

}  // namespace

class TestTranslations : public QObject {
  Q_OBJECT

  TTempDir Dir;

  void WriteCatalog(const std::string& language, const std::string& domain,
                    const test::TMoEntries& entries) {
    test::WriteFile(test::CatalogPath(Dir.File("locale"), language, domain),
                    test::MoBytes(entries, domain == "cport"));
  }

private slots:
  void initTestCase() {
    WriteCatalog("da", "default",
                 {{"", test::Utf8Header},
                  {"Confirm", "Bekr\xc3\xa6" "ft"},
                  {"&Yes", "&Ja"},
                  {"&No", "&Nej"},
                  {"OK", "Ok"},
                  {"Warning", "Advarsel"},
                  {ApplicationTitle, "must stay untranslated"}});
    WriteCatalog("da", "cport",
                 {{"Unable to open com port", "Kan ikke \xc3\xa5" "bne porten"},
                  {" (win error code: %d)", " (fejlkode fra Windows: %d)"}});
  }

  void cleanup() {
    Translation::InstallCatalog(nullptr);
    LoadPortErrorMessages();
  }

  void serialMessagesComeFromTheCportCatalog() {
    LoadTranslations(Dir.Path(), Lang("da_DK.UTF-8"));
    QCOMPARE(PortErrorMessages[1], std::string("Kan ikke \xc3\xa5" "bne porten"));
    QCOMPARE(PortErrorMessages[2], std::string("WriteFile function failed"));
    QCOMPARE(EComPort::CreateFromSystemError(1, 2).Message(),
             std::string("Kan ikke \xc3\xa5" "bne porten (fejlkode fra Windows: 2)"));
    QCOMPARE(EComPort::CreateFromCode(4).Message(), std::string("Invalid Async parameter"));
  }

  void boxCaptionsAndButtonsComeFromTheDefaultCatalog() {
    LoadTranslations(Dir.Path(), Lang("da"));
    TQtDialogService dialogs;

    TShownBox confirm;
    AnswerNextBox(confirm);
    QCOMPARE(dialogs.MessageDlg("?", TMsgDlgType::mtConfirmation), mrNo);
    QCOMPARE(confirm.Caption, QString::fromUtf8("Bekr\xc3\xa6" "ft"));
    QCOMPARE(confirm.Buttons, (QStringList{"&Ja", "&Nej"}));

    TShownBox warning;
    AnswerNextBox(warning);
    QCOMPARE(dialogs.MessageDlg("!", TMsgDlgType::mtWarning), mrOk);
    QCOMPARE(warning.Caption, QStringLiteral("Advarsel"));
    QCOMPARE(warning.Buttons, QStringList{"Ok"});

    // The program's own title is never translated; "Error" has no translation here.
    TShownBox custom, error;
    AnswerNextBox(custom);
    dialogs.MessageDlg("", TMsgDlgType::mtCustom);
    AnswerNextBox(error);
    dialogs.MessageDlg("", TMsgDlgType::mtError);
    QCOMPARE(custom.Caption, QString::fromUtf8(ApplicationTitle));
    QCOMPARE(error.Caption, QStringLiteral("Error"));
  }

  void otherLanguagesAndNoCatalogsChangeNothing() {
    for (const char* language : {"de_DE.UTF-8", "C", "", "../locale/da"}) {
      LoadTranslations(Dir.Path(), Lang(language));
      QCOMPARE(PortErrorMessages[1], std::string("Unable to open com port"));
      QCOMPARE(Translate("Confirm"), std::string("Confirm"));
    }
    LoadTranslations(Dir.File("nowhere"), Lang("da"));
    QCOMPARE(Translate("Confirm"), std::string("Confirm"));
  }
};

QTEST_MAIN(TestTranslations)
#include "tst_Translations.moc"
