#include "gui/fm_about.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "gui/file_version_label.h"
#include "gui/gui_fonts.h"
#include "gui/korvex_logo.h"

namespace vr512b::gui {

namespace {

QLabel* AddLabel(QWidget* parent, const char* name, const QString& text, const QRect& place) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setFont(AboutLabelFont());
  label->setGeometry(place);
  return label;
}

}  // namespace

TFmAbout::TFmAbout(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName("FmAbout");
  setWindowTitle(QStringLiteral("О программе"));
  setFont(WindowFont());
  setFixedSize(kClientWidth, kClientHeight);

  auto* picture = new QLabel(this);
  picture->setObjectName("PicKorvex");
  picture->setPixmap(KorvexLogo());
  picture->setGeometry(8, 24, 200, 100);

  QLabel* name = AddLabel(this, "NameLabel",
                          QStringLiteral("Программа диагностики устройства пультового оконечного "
                                         "VR512B  \n(версии 2 и выше)"),
                          QRect(224, 16, 201, 97));
  name->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  name->setWordWrap(true);

  AddLabel(this, "FirmLabel", QStringLiteral("ООО «Корвекс»,  вер."), QRect(224, 128, 137, 16));

  VersionLabel = new TVersionInfoFileVersionLabel(this);
  VersionLabel->setObjectName("VersionLabel");
  VersionLabel->setFont(AboutLabelFont());
  VersionLabel->setGeometry(368, 128, 65, 16);
  VersionLabel->SetVersionInfo(&versionInfo_);

  QLabel* address =
      AddLabel(this, "AdrLabel", QStringLiteral("тел./факс: (495) 000-00-00\nwww.korvex.example"),
               QRect(224, 144, 209, 33));
  address->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

  auto* close = new QPushButton(QStringLiteral("Закрыть"), this);
  close->setObjectName("BtClose");
  close->setGeometry(72, 160, 73, 25);
  close->setDefault(true);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);

  // The form is stored enabled, so the version is read as it loads.
  versionInfo_.SetEnabled(true);

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - QPoint(kClientWidth / 2, kClientHeight / 2));
  }
}

TFmAbout::~TFmAbout() = default;

}  // namespace vr512b::gui
