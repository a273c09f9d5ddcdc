#include "gui/setup_panel.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "gui/gui_fonts.h"

namespace vr512b::gui {

namespace {

constexpr int kLabelHeight = 16;
constexpr int kEditHeight = 21;
constexpr int kCheckHeight = 17;
constexpr int kButtonWidth = 105;
constexpr int kButtonHeight = 25;

// Esc presses Отмена, so that its handler runs; only the close box ends the
// dialog without any handler.
class SetupDialog final : public QDialog {
 public:
  SetupDialog(QWidget* owner, QPushButton* cancel)
      : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
        cancel_(cancel) {}

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
      cancel_->click();
      return;
    }
    QDialog::keyPressEvent(event);
  }

 private:
  QPushButton* cancel_;
};

// Puts the controls back into the hidden panel however the dialog ends, so
// they are never destroyed with it.
class AreaReturn {
 public:
  AreaReturn(QWidget* area, QWidget* panel, QDialog*& slot)
      : area_(area), panel_(panel), slot_(slot) {}
  ~AreaReturn() {
    area_->setParent(panel_);
    area_->move(0, 0);
    area_->show();
    slot_ = nullptr;
  }
  AreaReturn(const AreaReturn&) = delete;
  AreaReturn& operator=(const AreaReturn&) = delete;

 private:
  QWidget* area_;
  QWidget* panel_;
  QDialog*& slot_;
};

}  // namespace

TSpeedForm::TSpeedForm(QWidget* parent) : QWidget(parent), area_(new QWidget(this)) {
  setObjectName("SFSetupDiag");
  setWindowTitle(QStringLiteral("Параметры тестирования"));
  hide();
  area_->setObjectName("SFSetupDiagArea");
  area_->setFixedSize(kAreaWidth, kAreaHeight);

  AddLabel("LbNameVR512BSample", "Серийный номер эталонного УПО:", 8, 11, 233);
  EdNameVR512BSample = AddEdit("EdNameVR512BSample", 248, 8, 177);
  AddLabel("LbPhoneSample", "Телефон эталонного:", 8, 59, 145);
  EdPhoneSample = AddEdit("EdPhoneSample", 160, 56, 265);
  AddLabel("LbPhone", "Телефон диагностируемого:", 8, 83, 145);
  EdPhone = AddEdit("EdPhone", 160, 80, 265);
  CBIDContact = AddCheck("CBIDContact", "Проверять ID Contact", 24, 120, 145);
  CBLowSpeed = AddCheck("CBLowSpeed", "Проверять LowSpeed", 24, 136, 169);
  CBSecsoa = AddCheck("CBSecsoa", "Проверять Secsoa", 24, 152, 169);
  CBKorvex = AddCheck("CBKorvex", "Проверять Korvex", 24, 168, 137);
  CBPresto = AddCheck("CBPresto", "Проверять Престо", 24, 184, 137);
  CBShortTest = AddCheck("CBShortTest", "Сокращенная проверка", 24, 216, 153);
  CBSound = AddCheck("CBSound", "Звук проверяемого", 224, 120, 153);
  CBSoundSample = AddCheck("CBSoundSample", "Звук эталонного", 224, 136, 153);
  CBKorvexTestMsg = AddCheck("CBKorvexTestMsg", "Тестовые сообщения Korvex", 224, 152, 193);
  CBNoTone = AddCheck("CBNoTone", "Не проверять тон перед набором", 224, 168, 193);

  BtCancelSetDiag = new QPushButton(QStringLiteral("Отмена"), area_);
  BtCancelSetDiag->setObjectName("BtCancelSetDiag");
  BtCancelSetDiag->setGeometry(304, 192, kButtonWidth, kButtonHeight);
  BtOkSetDiag = new QPushButton(QStringLiteral("OK"), area_);
  BtOkSetDiag->setObjectName("BtOkSetDiag");
  BtOkSetDiag->setGeometry(304, 224, kButtonWidth, kButtonHeight);
  BtOkSetDiag->setDefault(true);
  connect(BtOkSetDiag, &QPushButton::clicked, this, [this] {
    if (dialog_ != nullptr && confirmOk && !confirmOk())
      return;
    Finish(BtOkSetDiag, QDialog::Accepted, onOk);
  });
  connect(BtCancelSetDiag, &QPushButton::clicked, this,
          [this] { Finish(BtCancelSetDiag, QDialog::Rejected, onCancel); });

  QWidget* const order[] = {
      BtCancelSetDiag, BtOkSetDiag,   EdNameVR512BSample, EdPhoneSample, EdPhone,
      CBIDContact,     CBLowSpeed,    CBSecsoa,           CBKorvex,      CBShortTest,
      CBSound,         CBSoundSample, CBKorvexTestMsg,    CBNoTone,      CBPresto};
  for (std::size_t i = 1; i < std::size(order); ++i) {
    setTabOrder(order[i - 1], order[i]);
  }
  // Each parameter's control, in the order of the parameters' table.
  for (const ParameterInfo& parameter : AllParameters()) {
    controls_.push_back(area_->findChild<QWidget*>(QString::fromUtf8(parameter.control)));
    Q_ASSERT(controls_.back() != nullptr);
  }
}

void TSpeedForm::AddLabel(const char* name, const char* caption, int left, int top, int width) {
  auto* label = new QLabel(QString::fromUtf8(caption), area_);
  label->setObjectName(name);
  label->setAlignment(Qt::AlignRight | Qt::AlignTop);
  label->setGeometry(left, top, width, kLabelHeight);
  GrowToFit(label, true);
}

QLineEdit* TSpeedForm::AddEdit(const char* name, int left, int top, int width) {
  auto* edit = new QLineEdit(area_);
  edit->setObjectName(name);
  edit->setFont(EditFont());
  edit->setGeometry(left, top, width, kEditHeight);
  return edit;
}

QCheckBox* TSpeedForm::AddCheck(const char* name, const char* caption, int left, int top,
                                int width) {
  auto* box = new QCheckBox(QString::fromUtf8(caption), area_);
  box->setObjectName(name);
  box->setGeometry(left, top, width, kCheckHeight);
  GrowToFit(box, false);
  return box;
}

TestParameterValues TSpeedForm::Values() const {
  TestParameterValues v;
  const std::span<const ParameterInfo> parameters = AllParameters();
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    if (parameters[i].IsFlag())
      v.*parameters[i].flag = static_cast<QCheckBox*>(controls_[i])->isChecked();
    else
      v.*parameters[i].text = static_cast<QLineEdit*>(controls_[i])->text().toStdString();
  }
  return v;
}

void TSpeedForm::SetValues(const TestParameterValues& v) {
  const std::span<const ParameterInfo> parameters = AllParameters();
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    if (parameters[i].IsFlag())
      static_cast<QCheckBox*>(controls_[i])->setChecked(v.*parameters[i].flag);
    else
      static_cast<QLineEdit*>(controls_[i])->setText(QString::fromStdString(v.*parameters[i].text));
  }
}

void TSpeedForm::Finish(QPushButton* button, int result, const std::function<void()>& handler) {
  QDialog* dialog = dialog_;
  if (dialog == nullptr || button->window() != dialog)
    return;
  // The result comes first, so the dialog closes even when the handler fails.
  dialog->setResult(result);
  if (handler)
    handler();
  dialog->done(result);
}

int TSpeedForm::ShowModal() {
  if (dialog_ != nullptr)
    return QDialog::Rejected;
  SetupDialog dialog(window(), BtCancelSetDiag);
  dialog.setObjectName("SFSetupDiagDialog");
  dialog.setWindowTitle(windowTitle());
  dialog.setFont(window()->font());
  dialog.setFixedSize(kAreaWidth, kAreaHeight);
  dialog_ = &dialog;
  const AreaReturn giveBack(area_, this, dialog_);
  area_->setParent(&dialog);
  area_->move(0, 0);
  area_->show();
  // A dialog learns its default button only while the button is inside it.
  BtOkSetDiag->setDefault(false);
  BtOkSetDiag->setDefault(true);
  BtCancelSetDiag->setFocus();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect free = screen->availableGeometry();
    dialog.move(free.center() - QPoint(kAreaWidth / 2, kAreaHeight / 2));
  }
  return dialog.exec();
}

}  // namespace vr512b::gui
