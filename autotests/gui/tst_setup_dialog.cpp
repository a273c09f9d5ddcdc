// The parameters dialog: its controls, OK (saved, reference serial taken),
// Отмена and Esc (stored values back), the close box (edits kept, nothing
// saved), failures of the store, and the hidden panel outliving the dialog.

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <memory>

#include "app/diag_console.h"
#include "autotests/gui/gui_test_support.h"
#include "device/clock.h"
#include "gui/fm_main.h"
#include "gui/setup_panel.h"

using namespace vr512b;
using namespace vr512b::gui;
using namespace vr512b::guitest;

class SetupDialogTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  VirtualClock clock_;
  NoUnitsHid hid_;
  std::string path_;
  std::unique_ptr<TFmMain> window_;

  TFmMain& W() { return *window_; }
  template <typename T>
  T* Control(const char* name) {
    return W().findChild<T*>(name);
  }
  void Start(std::vector<SeenBox>* boxes = nullptr) {
    window_ = std::make_unique<TFmMain>(clock_, path_);
    ModalDriver driver(Press(QMessageBox::Ok));
    QVERIFY(W().FormCreate([this](std::string&) -> HidLibrary* { return &hid_; }));
    if (boxes != nullptr)
      *boxes = driver.boxes();
  }
  // Opens the dialog and lets `act` work it; message boxes are confirmed and
  // recorded. Returns the dialog's result.
  int RunDialog(const std::function<void(QDialog*)>& act, std::vector<SeenBox>* boxes = nullptr) {
    ModalDriver driver([&](QWidget* modal) {
      if (auto* dialog = qobject_cast<QDialog*>(modal);
          dialog && !qobject_cast<QMessageBox*>(modal)) {
        act(dialog);
      } else {
        Press(QMessageBox::Ok)(modal);
      }
    });
    const int result = W().SetupPanel().ShowModal();
    if (boxes != nullptr)
      *boxes = driver.boxes();
    return result;
  }
  void EditSome(QDialog* dialog) {
    QVERIFY(W().SetupPanel().Dialog() == dialog);
    Control<QLineEdit>("EdNameVR512BSample")->setText(" 0x7B");
    Control<QLineEdit>("EdPhone")->setText("555-12-34");
    Control<QCheckBox>("CBKorvex")->setChecked(false);
    Control<QCheckBox>("CBNoTone")->setChecked(true);
  }

 private slots:
  void init() {
    path_ = vr512b::testing::FreshSettingsPath(
        QDir(dir_.path()).filePath(QTest::currentTestFunction() + QString(".reg")).toStdString());
    Start();
  }
  void cleanup() { window_.reset(); }

  void firstStartGivesDefaultsAndWritesNothing() {
    const TestParameterValues v = W().Parameters();
    QVERIFY(v == TestParameterValues{});
    QCOMPARE(W().Console()->RefSerial(), 0);
    // The file, and the key in it, come with the first OK.
    QVERIFY(!vr512b::testing::SettingsStored(path_));
  }

  void dialogLayoutAndTabOrder() {
    RunDialog([this](QDialog* dialog) {
      QCOMPARE(dialog->windowTitle(), QString::fromUtf8("Параметры тестирования"));
      QCOMPARE(dialog->size(), QSize(432, 262));
      QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
      QVERIFY(dialog->windowFlags() & Qt::WindowCloseButtonHint);
      QCOMPARE(dialog->findChild<QLabel*>("LbNameVR512BSample")->geometry().topLeft(),
               QPoint(8, 11));
      QCOMPARE(dialog->findChild<QLabel*>("LbPhone")->text(),
               QString::fromUtf8("Телефон диагностируемого:"));
      QVERIFY(dialog->findChild<QLabel*>("LbPhone")->alignment() & Qt::AlignRight);
      QCOMPARE(dialog->findChild<QLineEdit*>("EdPhoneSample")->geometry(), QRect(160, 56, 265, 21));
      QCOMPARE(dialog->findChild<QCheckBox*>("CBNoTone")->text(),
               QString::fromUtf8("Не проверять тон перед набором"));
      QCOMPARE(dialog->findChild<QCheckBox*>("CBPresto")->geometry().topLeft(), QPoint(24, 184));
      QCOMPARE(dialog->findChild<QPushButton*>("BtOkSetDiag")->geometry(),
               QRect(304, 224, 105, 25));
      QCOMPARE(dialog->findChild<QPushButton*>("BtCancelSetDiag")->text(),
               QString::fromUtf8("Отмена"));

      const QStringList expected = {
          "BtCancelSetDiag", "BtOkSetDiag",   "EdNameVR512BSample", "EdPhoneSample", "EdPhone",
          "CBIDContact",     "CBLowSpeed",    "CBSecsoa",           "CBKorvex",      "CBShortTest",
          "CBSound",         "CBSoundSample", "CBKorvexTestMsg",    "CBNoTone",      "CBPresto"};
      QStringList order;
      QWidget* w = dialog->findChild<QWidget*>("BtCancelSetDiag");
      while (order.size() < expected.size()) {
        if (expected.contains(w->objectName()))
          order << w->objectName();
        w = w->nextInFocusChain();
      }
      QCOMPARE(order, expected);
      dialog->findChild<QPushButton*>("BtCancelSetDiag")->click();
    });
  }

  void okSavesAndTakesTheReferenceSerial() {
    const int result = RunDialog([this](QDialog* dialog) {
      EditSome(dialog);
      dialog->findChild<QPushButton*>("BtOkSetDiag")->click();
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(W().Console()->RefSerial(), 123);
    const TestParameterValues stored = StoredParameters(path_);
    QCOMPARE(stored.NameVR512BSample, std::string(" 0x7B"));
    QCOMPARE(stored.Phone, std::string("555-12-34"));
    QVERIFY(!stored.Korvex);
    QVERIFY(stored.CBNoTone);
    QVERIFY(W().Parameters() == stored);
    // The controls went back into the hidden panel and outlive the dialog.
    QVERIFY(!W().SetupPanel().Showing());
    QCOMPARE(Control<QLineEdit>("EdPhone")->window(), static_cast<QWidget*>(&W()));
  }

  void enterPressesOk() {
    RunDialog([this](QDialog* dialog) {
      EditSome(dialog);
      QLineEdit* edit = Control<QLineEdit>("EdPhone");
      edit->setFocus();
      QTest::keyClick(edit, Qt::Key_Return);
    });
    QCOMPARE(StoredParameters(path_).Phone, std::string("555-12-34"));
    QCOMPARE(W().Console()->RefSerial(), 123);
  }

  void cancelAndEscapeRestoreTheStoredValues() {
    const TestParameterValues stored = StoredParameters(path_);
    const int result = RunDialog([this](QDialog* dialog) {
      EditSome(dialog);
      dialog->findChild<QPushButton*>("BtCancelSetDiag")->click();
    });
    QCOMPARE(result, int(QDialog::Rejected));
    QVERIFY(W().Parameters() == stored);
    QCOMPARE(W().Console()->RefSerial(), 0);

    RunDialog([this](QDialog* dialog) {
      EditSome(dialog);
      QTest::keyClick(Control<QLineEdit>("EdPhone"), Qt::Key_Escape);
    });
    QVERIFY(W().Parameters() == stored);
    QCOMPARE(W().Console()->RefSerial(), 0);
  }

  void closeBoxKeepsEditsWithoutSaving() {
    const TestParameterValues stored = StoredParameters(path_);
    RunDialog([this](QDialog* dialog) {
      EditSome(dialog);
      dialog->close();
    });
    QVERIFY(StoredParameters(path_) == stored);
    QCOMPARE(W().Console()->RefSerial(), 0);
    const TestParameterValues now = W().Parameters();
    QCOMPARE(now.Phone, std::string("555-12-34"));
    QVERIFY(!now.Korvex);
  }

  void saveFailureShowsTheErrorBoxAndStillCloses() {
#ifdef _WIN32
    QSKIP("about the .reg file store; the registry's own failures are autotest_windows's");
#endif
    // A folder that cannot be made: its parent is a plain file.
    const QString blocker = dir_.filePath("blocker");
    std::ofstream(blocker.toStdString()) << "x";
    path_ = (blocker + "/p.reg").toStdString();
    Start();
    std::vector<SeenBox> errors;
    const int result = RunDialog(
        [this](QDialog* dialog) {
          EditSome(dialog);
          dialog->findChild<QPushButton*>("BtOkSetDiag")->click();
        },
        &errors);
    QCOMPARE(result, int(QDialog::Accepted));
    QVERIFY(!W().SetupPanel().Showing());
    // The serial was taken before the save failed.
    QCOMPARE(W().Console()->RefSerial(), 123);
    QCOMPARE(errors.size(), 1u);
    QCOMPARE(errors[0].title, QString::fromUtf8("Диагностика VR512B"));
    QCOMPARE(errors[0].icon, QMessageBox::Critical);
    QCOMPARE(errors[0].text, QString("Failed to set data for 'NameVR512BSample'"));
  }

  void wrongTypeAtStartIsShownAndTheOthersLoad() {
#ifdef _WIN32
    QSKIP("about the .reg file store; the registry's own failures are autotest_windows's");
#endif
    path_ = dir_.filePath("typed.reg").toStdString();
    std::ofstream(path_) << "Windows Registry Editor Version 5.00\r\n\r\n"
                            "[HKEY_LOCAL_MACHINE\\Software\\Korvex\\DiagVR512B]\r\n"
                            "\"NameVR512BSample\"=\"42\"\r\n"
                            "\"IDContact\"=dword:00000000\r\n"
                            "\"Korvex\"=\"yes\"\r\n";
    std::vector<SeenBox> boxes;
    Start(&boxes);
    QCOMPARE(boxes.size(), 1u);
    QCOMPARE(boxes[0].text, QString("Invalid data type for 'Korvex'"));
    QCOMPARE(boxes[0].title, QString::fromUtf8("Диагностика VR512B"));
    const TestParameterValues v = W().Parameters();
    QCOMPARE(v.NameVR512BSample, std::string("42"));
    QVERIFY(!v.IDContact);
    QVERIFY(v.Secsoa);
    // The failing value keeps what its control had when built; the values
    // after it load all the same (here their defaults).
    QVERIFY(!v.Korvex);
    QVERIFY(v.Presto);
    QCOMPARE(W().Console()->RefSerial(), 42);
  }

  void actionOpensTheDialogOnce() {
    int shown = 0;
    ModalDriver driver([&](QWidget* modal) {
      ++shown;
      // A second request while it shows returns at once.
      QCOMPARE(W().SetupPanel().ShowModal(), int(QDialog::Rejected));
      modal->close();
    });
    W().findChild<QAction*>("ActSetupDiag")->trigger();
    QCOMPARE(shown, 1);
  }
};

QTEST_MAIN(SetupDialogTest)
#include "tst_setup_dialog.moc"
