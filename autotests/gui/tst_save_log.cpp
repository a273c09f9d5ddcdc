// "Сервис" → "Сохранить протокол...": the menu item beside the parameters,
// the file name it proposes, the file it writes (the pane's text, UTF-8,
// CR LF after every line, replaced in one step), and the dialogue around it.

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sys/stat.h>

#include "app/diag_console.h"
#include "autotests/gui/gui_test_support.h"
#include "autotests/support/small_disk.h"
#include "gui/diag_session.h"
#include "gui/fm_main.h"
#include "gui/log_view.h"

using namespace vr512b;
using namespace vr512b::gui;
using namespace vr512b::guitest;

namespace {

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return "<unreadable>";
  return file.readAll();
}

void WriteAll(const QString& path, const QByteArray& content) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(content);
}

// The pane's lines as a file must hold them.
QByteArray Expected(const LogView& log) {
  QByteArray text;
  for (qsizetype i = 0; i < log.lineCount(); ++i)
    text += log.line(i).toUtf8() + "\r\n";
  return text;
}

}  // namespace

class SaveLogTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  std::unique_ptr<DiagSession> session_;

  TFmMain& W() { return session_->MainWindow(); }
  QAction* Action(const char* name) { return W().findChild<QAction*>(name); }

  // Runs "Сохранить протокол...": the save dialog is given `path` (an empty
  // one cancels it), message boxes get `box` (or OK, where they have no such
  // button). Returns the path the dialog
  // proposed.
  QString SaveThroughMenu(const QString& path, QMessageBox::StandardButton box,
                          std::vector<SeenBox>* seen = nullptr) {
    QString proposed;
    ModalDriver driver([&](QWidget* modal) {
      if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
        proposed = dialog->selectedFiles().value(0);
        if (path.isEmpty()) {
          dialog->reject();
        } else {
          // Typed into the name field, as a person would: selectFile() leaves
          // a focused field alone.
          auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
          QVERIFY(name != nullptr);
          name->setText(path);
          // As the Save button would: QFileDialog keeps accept() protected.
          static_cast<QDialog*>(dialog)->accept();
        }
        return;
      }
      // A box without that button (the error box) gets OK.
      auto* message = qobject_cast<QMessageBox*>(modal);
      Press(message != nullptr && message->button(box) == nullptr ? QMessageBox::Ok : box)(modal);
    });
    Action("ActSaveLog")->trigger();
    if (seen != nullptr)
      *seen = driver.boxes();
    return proposed;
  }

 private slots:
  // The dialog starts in the home folder: a test that went wrong must not
  // leave files in the real one.
  void initTestCase() { qputenv("HOME", dir_.path().toLocal8Bit()); }
  void init() {
    StartOptions options;
    options.simulate = true;
    options.virtualTime = true;
    options.showWindows = false;
    options.settingsPath = dir_.filePath("bench.reg").toStdString();
    session_ = DiagSession::Start(options);
    QVERIFY(session_ != nullptr);
  }
  void cleanup() { session_.reset(); }

  void menuItemFollowsTheParametersAndLeavesTheRestAsItWas() {
    const QList<QAction*> top = W().menuBar()->actions();
    QCOMPARE(top.size(), 3);
    QCOMPARE(top[0]->text(), QString::fromUtf8("Выход"));
    QCOMPARE(top[1]->text(), QString::fromUtf8("Сервис"));
    const QList<QAction*> service = top[1]->menu()->actions();
    QCOMPARE(service.size(), 3);
    QCOMPARE(service[0]->text(), QString::fromUtf8("Параметры тестирования..."));
    QCOMPARE(service[1]->text(), QString::fromUtf8("Сохранить протокол..."));
    QCOMPARE(service[1], Action("ActSaveLog"));
    QCOMPARE(service[2], Action("ActTraceHid"));
    QCOMPARE(top[2]->text(), QString::fromUtf8("О программе..."));
  }

  void proposedNameHasTheDateAndTheSerialOrTheTime() {
    const QDateTime when(QDate(2026, 12, 8), QTime(9, 5, 7));
    QCOMPARE(TFmMain::ProposedLogFileName(when, 10002),
             QString::fromUtf8("протокол-2026-12-08-10002.txt"));
    QCOMPARE(TFmMain::ProposedLogFileName(when, std::nullopt),
             QString::fromUtf8("протокол-2026-12-08-09-05-07.txt"));
  }

  void savedFileIsThePaneTextWithCrLfAfterEveryLine() {
    const QString path = dir_.filePath("empty.txt");
    QCOMPARE(W().SaveLog(path), QString());
    QCOMPARE(ReadAll(path), QByteArray());

    W().AppendLog("Проверка");
    W().AppendLog("");
    W().AppendLog("ASCII line");
    QCOMPARE(W().SaveLog(path), QString());
    QCOMPARE(ReadAll(path), QByteArray("Проверка\r\n\r\nASCII line\r\n"));
    // The pane's own text, with the last line ended too.
    QCOMPARE(ReadAll(path), (W().Log().text() + "\r\n").toUtf8());
  }

  void failedSaveReportsAndKeepsTheOldFile() {
    const QString path = dir_.filePath("kept.txt");
    WriteAll(path, "old");
    W().AppendLog("new");
    QVERIFY(!W().SaveLog(dir_.filePath("no-such-folder/log.txt")).isEmpty());
    QCOMPARE(ReadAll(path), QByteArray("old"));

    // Through the menu the failure reaches the standard error box.
    std::vector<SeenBox> boxes;
    SaveThroughMenu(dir_.filePath("no-such-folder/log.txt"), QMessageBox::Ok, &boxes);
    QCOMPARE(boxes.size(), std::size_t{1});
    QCOMPARE(boxes[0].title, QString::fromUtf8(kAppTitle));
    QVERIFY(boxes[0].text.startsWith(QString::fromUtf8("Не удалось сохранить протокол в ")));
  }

  // A full disk, with a log small enough to sit in a write buffer until the
  // file is closed, and with one of megabytes; and a read-only disk. Each
  // time the error box, and the old file whole.
  void aFullOrReadOnlyDiskKeepsTheOldFileAndSaysSo_data() {
    QTest::addColumn<int>("lines");
    QTest::addColumn<bool>("readOnly");
    QTest::newRow("full disk, small log") << 20 << false;
    QTest::newRow("full disk, large log") << 100000 << false;
    QTest::newRow("read-only disk") << 20 << true;
  }
  void aFullOrReadOnlyDiskKeepsTheOldFileAndSaysSo() {
    QFETCH(int, lines);
    QFETCH(bool, readOnly);
    testing::SmallDisk disk;
    if (!disk.unavailable().empty())
      QSKIP(disk.unavailable().c_str());
    const QString kept = QString::fromStdString(disk.File("kept.txt"));
    const QString fresh = QString::fromStdString(disk.File("new.txt"));
    const QByteArray old = "the log saved before\r\n";
    WriteAll(kept, old);
    QVERIFY(readOnly ? disk.MakeReadOnly() : disk.Fill());
    for (int i = 0; i < lines; ++i)
      W().AppendLog("Строка протокола " + std::to_string(i));
    if (lines == 20)
      QVERIFY(Expected(W().Log()).size() < 16 * 1024);

    QVERIFY(!W().SaveLog(kept).isEmpty());
    QCOMPARE(ReadAll(kept), old);
    QVERIFY(!W().SaveLog(fresh).isEmpty());
    QVERIFY(!QFileInfo::exists(fresh));

    std::vector<SeenBox> boxes;
    SaveThroughMenu(kept, QMessageBox::Yes, &boxes);
    QCOMPARE(boxes.size(), std::size_t{2});  // replace it?  then the error
    QCOMPARE(boxes[1].title, QString::fromUtf8(kAppTitle));
    QCOMPARE(boxes[1].icon, QMessageBox::Critical);
    QVERIFY2(boxes[1].text.startsWith(QString::fromUtf8("Не удалось сохранить протокол в ")),
             qPrintable(boxes[1].text));
    QCOMPARE(ReadAll(kept), old);
    // Nothing half-written is left beside it.
    QStringList names = QDir(QString::fromStdString(disk.path()))
                            .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    names.removeAll(".filler");
    QCOMPARE(names, QStringList{"kept.txt"});
  }

  // Only a regular file takes the log: a FIFO (which would hang a reader's
  // writer, or be replaced by a file) is refused; a link is followed and
  // kept, and the file keeps its mode.
  void onlyARegularFileIsReplaced() {
    const QString fifo = dir_.filePath("fifo");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    W().AppendLog("new");
    QCOMPARE(W().SaveLog(fifo), QString::fromUtf8("это именованный канал, а не обычный файл"));
    QVERIFY(QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile());
    QVERIFY(!W().SaveLog(dir_.path()).isEmpty());

    const QString target = dir_.filePath("target.txt");
    const QString link = dir_.filePath("link.txt");
    WriteAll(target, "old");
    QVERIFY(QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    QVERIFY(QFile::link(QFileInfo(target).fileName(), link));
    QCOMPARE(W().SaveLog(link), QString());
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(ReadAll(target), QByteArray("new\r\n"));
    struct stat info {};
    QCOMPARE(::stat(QFile::encodeName(target).constData(), &info), 0);
    QCOMPARE(info.st_mode & 07777, 0440u);
  }

  void afterATestTheDialogProposesTheUnitsSerialAndSaves() {
    // Without a unit read yet: the date and the time.
    const QString today = QDate::currentDate().toString("yyyy-MM-dd");
    QString proposed = SaveThroughMenu(QString(), QMessageBox::Ok);
    QVERIFY2(
        QFileInfo(proposed).fileName().startsWith(QString::fromUtf8("протокол-") + today + "-"),
        qPrintable(proposed));
    QVERIFY(!QFileInfo(proposed).fileName().contains("10002"));

    Action("ActTestFunc")->trigger();
    QVERIFY(W().Log().lineCount() > 10);
    const QString path = dir_.filePath("func.txt");
    proposed = SaveThroughMenu(path, QMessageBox::Ok);
    QCOMPARE(QFileInfo(proposed).fileName(), QString::fromUtf8("протокол-%1-10002.txt").arg(today));
    QCOMPARE(ReadAll(path), Expected(W().Log()));
    // Clear empties the log but the unit is still the one last read.
    W().Console()->ClearResults();
    proposed = SaveThroughMenu(QString(), QMessageBox::Ok);
    QVERIFY(QFileInfo(proposed).fileName().endsWith("-10002.txt"));
    // The folder saved to last is offered again.
    QCOMPARE(QFileInfo(proposed).absolutePath(), QFileInfo(path).absolutePath());
  }

  void existingFileIsReplacedOnlyWhenTheOperatorSaysSo() {
    const QString path = dir_.filePath("twice.txt");
    WriteAll(path, "old");
    W().AppendLog("new");
    std::vector<SeenBox> boxes;
    SaveThroughMenu(path, QMessageBox::No, &boxes);
    QCOMPARE(boxes.size(), std::size_t{1});
    QVERIFY(boxes[0].text.contains(QString::fromUtf8("уже существует")));
    QCOMPARE(ReadAll(path), QByteArray("old"));

    SaveThroughMenu(path, QMessageBox::Yes);
    QCOMPARE(ReadAll(path), QByteArray("new\r\n"));
    // A replaced file leaves no temporary file beside it.
    QCOMPARE(QDir(dir_.path()).entryList({"twice*"}, QDir::Files), QStringList{"twice.txt"});
  }
};

QTEST_MAIN(SaveLogTest)
#include "tst_save_log.moc"
