// The About box and the version component behind its version label.

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "app/version_info.h"
#include "autotests/gui/gui_test_support.h"
#include "device/clock.h"
#include "gui/file_version_label.h"
#include "gui/fm_about.h"
#include "gui/fm_main.h"

using namespace vr512b;
using namespace vr512b::gui;
using namespace vr512b::guitest;

class AboutBoxTest : public QObject {
  Q_OBJECT

 private slots:
  void showsNameCompanyAndFileVersion() {
    TFmAbout about(nullptr);
    QCOMPARE(about.windowTitle(), QString::fromUtf8("О программе"));
    QCOMPARE(about.size(), QSize(441, 194));
    QCOMPARE(about.minimumSize(), about.maximumSize());
    auto* version = about.findChild<QLabel*>("VersionLabel");
    QCOMPARE(version->text(), QString("2.0.0.3"));
    QCOMPARE(version->geometry(), QRect(368, 128, 65, 16));
    QCOMPARE(about.findChild<QLabel*>("NameLabel")->text(),
             QString::fromUtf8("Программа диагностики устройства пультового оконечного VR512B  \n"
                               "(версии 2 и выше)"));
    QVERIFY(about.findChild<QLabel*>("FirmLabel")->text().endsWith(QString::fromUtf8(",  вер.")));
    QCOMPARE(about.findChild<QLabel*>("FirmLabel")->geometry().topLeft(), QPoint(224, 128));
    QCOMPARE(about.findChild<QLabel*>("AdrLabel")->text().count('\n'), 1);
    auto* logo = about.findChild<QLabel*>("PicKorvex");
    QCOMPARE(logo->geometry(), QRect(8, 24, 200, 100));
    QVERIFY(logo->pixmap().hasAlphaChannel());
    auto* close = about.findChild<QPushButton*>("BtClose");
    QCOMPARE(close->geometry(), QRect(72, 160, 73, 25));
    QCOMPARE(close->text(), QString::fromUtf8("Закрыть"));
  }

  void menuItemOpensItModallyAndCloseGivesOk() {
    QTemporaryDir dir;
    VirtualClock clock;
    NoUnitsHid hid;
    TFmMain window(clock, vr512b::testing::FreshSettingsPath(dir.filePath("p.reg").toStdString()));
    QVERIFY(window.FormCreate([&](std::string&) -> HidLibrary* { return &hid; }));
    QString seenVersion;
    int result = -1;
    ModalDriver driver([&](QWidget* modal) {
      auto* about = qobject_cast<TFmAbout*>(modal);
      QVERIFY(about != nullptr);
      seenVersion = about->findChild<QLabel*>("VersionLabel")->text();
      connect(about, &QDialog::finished, [&](int r) { result = r; });
      about->findChild<QPushButton*>("BtClose")->click();
    });
    window.findChild<QAction*>("MnAbout")->trigger();
    QCOMPARE(seenVersion, QString("2.0.0.3"));
    QCOMPARE(result, int(QDialog::Accepted));
    QVERIFY(window.findChild<TFmAbout*>() == nullptr);
  }

  void versionInfoReadsOnlyOurOwnProgramWhileEnabled() {
    TVersionInfo info;
    QCOMPARE(info.GetFileVersion(), std::string());
    info.SetEnabled(true);
    QCOMPARE(info.GetFileVersion(), std::string("2.0.0.3"));
    QCOMPARE(info.Translations(), std::vector<std::string>{"041904E3"});
    QCOMPARE(info.FileVersionNumbers(), (std::array<std::uint16_t, 4>{2, 0, 0, 3}));
    QCOMPARE(info.QueryStringValue("NoSuchName"), std::string());

    info.SetFileName("  /bin/sh\t");
    QCOMPARE(info.FileName(), std::string("/bin/sh"));
    QVERIFY(!info.HasVersionInfo());
    QCOMPARE(info.GetFileVersion(), std::string());

    info.SetFileName("/no/such/file");
    QCOMPARE(info.GetFileVersion(), std::string());

    info.SetFileName(" ");
    QCOMPARE(info.GetFileVersion(), std::string("2.0.0.3"));
    info.SetEnabled(false);
    QCOMPARE(info.GetFileVersion(), std::string());
  }

  void labelFollowsItsComponentAndDropsADestroyedOne() {
    TVersionInfoFileVersionLabel label(nullptr);
    auto info = std::make_unique<TVersionInfo>();
    label.SetVersionInfo(info.get());
    QCOMPARE(label.text(), QString());
    info->SetEnabled(true);
    QCOMPARE(label.text(), QString("2.0.0.3"));
    info->SetFileName("/no/such/file");
    QCOMPARE(label.text(), QString());
    info->SetFileName("");
    QCOMPARE(label.text(), QString("2.0.0.3"));

    TVersionInfo other;
    label.SetVersionInfo(&other);
    QCOMPARE(label.text(), QString());
    info->SetFileName("/no/such/file");  // no longer linked: nothing happens to the label
    label.SetVersionInfo(info.get());
    info.reset();
    QVERIFY(label.VersionInfo() == nullptr);
    QCOMPARE(label.text(), QString());
  }
};

QTEST_MAIN(AboutBoxTest)
#include "tst_about_box.moc"
