// The parameters file as the window meets it in real use: a file that is none
// of ours, regedit's exports, two consoles on one file, a value of the wrong
// type, a read-only file, a link, a read-only config folder, and values the
// dialog warns of before it saves them.

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <filesystem>
#include <memory>

#include "app/diag_console.h"
#include "autotests/gui/gui_test_support.h"
#include "autotests/support/reg_samples.h"
#include "autotests/support/test_support.h"
#include "autotests/support/unprivileged.h"
#include "device/clock.h"
#include "gui/diag_session.h"
#include "gui/fm_main.h"
#include "gui/setup_panel.h"

using namespace vr512b;
using namespace vr512b::gui;
using namespace vr512b::guitest;

namespace {

namespace fs = std::filesystem;

using testing::ReadFile;
using testing::WriteFile;

// One console window on a parameters file.
class Console {
 public:
  Console(Clock& clock, HidLibrary& hid, const std::string& path)
      : window_(std::make_unique<TFmMain>(clock, path)) {
    ModalDriver driver(Press(QMessageBox::Ok));
    window_->FormCreate([&hid](std::string&) -> HidLibrary* { return &hid; });
    startBoxes_ = driver.boxes();
  }
  TFmMain& W() { return *window_; }
  const std::vector<SeenBox>& StartBoxes() const { return startBoxes_; }
  template <typename T>
  T* Control(const char* name) {
    return window_->findChild<T*>(name);
  }

  // Opens the dialog, lets `edit` change the controls and presses OK; every
  // message box that follows is answered with `answer`. Returns the boxes and
  // whether the dialog was still open after the first OK.
  std::vector<SeenBox> EditAndOk(const std::function<void()>& edit,
                                 QMessageBox::StandardButton answer = QMessageBox::Ok,
                                 bool* stayedOpen = nullptr) {
    ModalDriver driver([&](QWidget* modal) {
      if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        // A box that does not offer the answer (one not expected) must not hang the test.
        if (box->button(answer) != nullptr) {
          Press(answer)(box);
        } else {
          box->reject();
        }
        return;
      }
      auto* dialog = qobject_cast<QDialog*>(modal);
      edit();
      dialog->findChild<QPushButton*>("BtOkSetDiag")->click();
      if (stayedOpen != nullptr)
        *stayedOpen = dialog->isVisible();
      if (dialog->isVisible())
        dialog->findChild<QPushButton*>("BtCancelSetDiag")->click();
    });
    window_->SetupPanel().ShowModal();
    return driver.boxes();
  }

 private:
  std::unique_ptr<TFmMain> window_;
  std::vector<SeenBox> startBoxes_;
};

}  // namespace

class ParametersFileFaultsTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  VirtualClock clock_;
  NoUnitsHid hid_;
  std::string File(const char* name) { return QDir(dir_.path()).filePath(name).toStdString(); }

 private slots:
  void aFileThatIsNoParametersFileIsShownAndLeftAlone() {
    const std::string path = File("hosts");
    const std::string hosts = "127.0.0.1\tlocalhost\n::1\tlocalhost ip6-localhost\n";
    WriteFile(path, hosts);
    Console console(clock_, hid_, path);
    QCOMPARE(console.StartBoxes().size(), 1u);
    QCOMPARE(console.StartBoxes()[0].text,
             QString::fromStdString(
                 "Файл «" + path +
                 "» не является файлом параметров тестирования: это не файл реестра (первая "
                 "строка не «Windows Registry Editor Version 5.00» и не «REGEDIT4»). Файл "
                 "оставлен без изменений."));
    QCOMPARE(console.StartBoxes()[0].icon, QMessageBox::Critical);
    QVERIFY(console.W().Parameters() == TestParameterValues{});
    QVERIFY(!fs::exists(path + ".lock"));

    const auto boxes =
        console.EditAndOk([&] { console.Control<QLineEdit>("EdPhone")->setText("2002"); });
    QCOMPARE(boxes.size(), 1u);
    QCOMPARE(boxes[0].text, QString("Failed to set data for 'NameVR512BSample'"));
    QCOMPARE(ReadFile(path), hosts);
  }

  void twoConsolesKeepEachOthersChanges() {
    const std::string path = File("shared.reg");
    SaveSettings(*OpenFileStore(path), SimulatorSettings());
    Console a(clock_, hid_, path);
    Console b(clock_, hid_, path);
    QVERIFY(b.EditAndOk([&] { b.Control<QLineEdit>("EdPhoneSample")->setText("3003"); }).empty());
    QVERIFY(
        a.EditAndOk([&] { a.Control<QLineEdit>("EdNameVR512BSample")->setText("10002"); }).empty());
    const TestParameterValues stored = StoredParameters(path);
    QCOMPARE(stored.PhoneSample, std::string("3003"));
    QCOMPARE(stored.NameVR512BSample, std::string("10002"));
    QCOMPARE(a.W().Console()->RefSerial(), 10002);
  }

  void aRegeditExportIsSavedBackInItsOwnEncoding() {
    const std::string path = File("export.reg");
    WriteFile(path, testing::RegeditFile(testing::ExportText()));
    Console console(clock_, hid_, path);
    QVERIFY(console.StartBoxes().empty());
    QVERIFY(console.W().Parameters() == testing::ExportValues());
    QCOMPARE(console.W().Console()->RefSerial(), 10001);
    QVERIFY(
        console.EditAndOk([&] { console.Control<QLineEdit>("EdPhoneSample")->setText("Пост 3"); })
            .empty());
    QCOMPARE(ReadFile(path), testing::RegeditFile(std::u16string(testing::kExportHead) +
                                                  u"\"PhoneSample\"=\"Пост 3\"\r\n" +
                                                  std::u16string(testing::kExportTail)));
  }

  void aRegedit4FileKeepsItsCyrillicUntouched() {
    const std::string path = File("regedit4.reg");
    WriteFile(path, testing::Regedit4Text());
    Console console(clock_, hid_, path);
    QVERIFY(console.StartBoxes().empty());
    QCOMPARE(console.Control<QLineEdit>("EdPhoneSample")->text(), QString("Пульт 2001"));
    QVERIFY(
        console.EditAndOk([&] { console.Control<QLineEdit>("EdPhone")->setText("2003"); }).empty());
    std::string want = testing::Regedit4Text();
    want.replace(want.find("\"Phone\"=\"2002\""), 14, "\"Phone\"=\"2003\"");
    QCOMPARE(ReadFile(path), want);
  }

  void aWrongTypeIsShownTheOthersLoadAndItStaysStored() {
    const std::string path = File("typed.reg");
    const std::string file = testing::kWrongTypeFile;
    WriteFile(path, file);
    Console console(clock_, hid_, path);
    QCOMPARE(console.StartBoxes().size(), 1u);
    QCOMPARE(console.StartBoxes()[0].text, QString("Invalid data type for 'PhoneSample'"));
    // What the runner has on the same file too (autotests/cli).
    TestParameterValues want;
    want.NameVR512BSample = "10001";
    want.PhoneSample = "";
    want.Phone = "2002";
    want.IDContact = false;
    want.Korvex = false;
    want.ShortTest = want.SoundSample = want.KorvexTestMsg = want.CBNoTone = true;
    QVERIFY(console.W().Parameters() == want);

    QVERIFY(
        console
            .EditAndOk([&] { console.Control<QLineEdit>("EdNameVR512BSample")->setText("10003"); })
            .empty());
    std::string after = file;
    after.replace(after.find("10001"), 5, "10003");
    QCOMPARE(ReadFile(path), after);
  }

  void aReadOnlyFileFailsToSaveAndStaysAsItWas() {
    const std::string path = File("readonly.reg");
    SaveSettings(*OpenFileStore(path), SimulatorSettings());
    ::chmod(path.c_str(), 0444);
    const std::string before = ReadFile(path);
    Console console(clock_, hid_, path);
    QVERIFY(console.StartBoxes().empty());
    QVERIFY(console.W().Parameters() == SimulatorSettings());
    const auto boxes =
        console.EditAndOk([&] { console.Control<QCheckBox>("CBSound")->setChecked(true); });
    QCOMPARE(boxes.size(), 1u);
    QCOMPARE(boxes[0].text, QString("Failed to set data for 'NameVR512BSample'"));
    QCOMPARE(ReadFile(path), before);
  }

  void aDanglingLinkGetsItsTargetAndAnEmptyPathIsAUsageError() {
    fs::create_directory(File("dotfiles"));
    const std::string link = File("linked.reg");
    fs::create_symlink("dotfiles/DiagVR512B.reg", link);
    Console console(clock_, hid_, link);
    QVERIFY(!fs::exists(File("dotfiles/DiagVR512B.reg")));
    QVERIFY(
        console.EditAndOk([&] { console.Control<QLineEdit>("EdPhone")->setText("2002"); }).empty());
    QVERIFY(fs::is_symlink(link));
    QCOMPARE(StoredParameters(File("dotfiles/DiagVR512B.reg")).Phone, std::string("2002"));

    const CommandLine c = ParseCommandLine({"vr512b-diag", "--settings", ""});
    QCOMPARE(c.exitCode, std::optional<int>(64));
    QCOMPARE(c.error, QString::fromUtf8("vr512b-diag: --settings: не указан файл\n"
                                        "Справка: vr512b-diag --help\n"));
  }

  void aReadOnlyConfigFolderOnTheBenchSaysWhy() {
    fs::permissions(dir_.path().toStdString(), fs::perms(0755));
    const std::string folder = File("Korvex");
    fs::create_directory(folder);
    fs::permissions(folder, fs::perms(0555));
    StartOptions options;
    options.simulate = true;
    options.virtualTime = true;
    options.showWindows = false;
    options.settingsPath = folder + "/DiagVR512B-sim.reg";
    ModalDriver driver(Press(QMessageBox::Ok));
    std::unique_ptr<DiagSession> session;
    {
      const testing::AsUnprivilegedUser user;
      QVERIFY(user.Effective());
      session = DiagSession::Start(options);
    }
    fs::permissions(folder, fs::perms(0755));
    QVERIFY(session != nullptr);
    QVERIFY(!driver.boxes().empty());
    QCOMPARE(driver.boxes()[0].text,
             QString::fromStdString("Не удалось создать параметры виртуального стенда в «" +
                                    *options.settingsPath +
                                    "»: Permission denied. Без них эталонное УПО стенда не "
                                    "будет найдено."));
  }

  void theDialogWarnsOfValuesItCanExplain() {
    const std::string path = File("warned.reg");
    Console console(clock_, hid_, path);
    const auto edit = [&] {
      console.Control<QLineEdit>("EdNameVR512BSample")->setText("12a");
      console.Control<QLineEdit>("EdPhoneSample")->setText(" 8 (495) 123-45-67 ");
    };
    bool stayedOpen = false;
    auto boxes = console.EditAndOk(edit, QMessageBox::No, &stayedOpen);
    QCOMPARE(boxes.size(), 1u);
    QCOMPARE(boxes[0].title, QString::fromUtf8("Параметры тестирования"));
    QCOMPARE(boxes[0].icon, QMessageBox::Warning);
    QCOMPARE(boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(boxes[0].text,
             QString::fromUtf8(
                 "Серийный номер эталонного УПО «12a» читается как 0, и эталонное УПО будет не "
                 "задано. Номер пишется десятичными цифрами (не больше 2147483647) или "
                 "шестнадцатеричными после $ или 0x, без пробелов в конце.\n\n"
                 "Телефон эталонного «8 (495) 123-45-67» длиннее 14 символов: УПО наберет "
                 "только первые 14.\n\n"
                 "Сохранить параметры?"));
    QVERIFY(stayedOpen);
    QVERIFY(!fs::exists(path));

    boxes = console.EditAndOk(edit, QMessageBox::Yes, &stayedOpen);
    QCOMPARE(boxes.size(), 1u);
    QVERIFY(!stayedOpen);
    QCOMPARE(StoredParameters(path).NameVR512BSample, std::string("12a"));
    QCOMPARE(console.W().Console()->RefSerial(), 0);

    // An empty serial says there is no reference unit: nothing to warn of.
    boxes = console.EditAndOk([&] {
      console.Control<QLineEdit>("EdNameVR512BSample")->clear();
      console.Control<QLineEdit>("EdPhoneSample")->setText("2001");
    });
    QVERIFY(boxes.empty());
  }
};

QTEST_MAIN(ParametersFileFaultsTest)
#include "tst_parameters_file_faults.moc"
