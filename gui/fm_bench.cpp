#include "gui/fm_bench.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include <functional>
#include <optional>
#include <vector>

#include "gui/gui_fonts.h"
#include "sim/virtual_bench.h"

namespace vr512b::gui {

// An indicator of a unit: a round lamp with its name.
class Lamp final : public QWidget {
 public:
  Lamp(const QString& name, QColor litColour, QWidget* parent)
      : QWidget(parent), name_(name), litColour_(litColour) {
    setMinimumSize(90, 18);
  }
  void SetLit(bool lit) {
    if (lit == lit_)
      return;
    lit_ = lit;
    update();
  }
  bool Lit() const { return lit_; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::darkGray, 1));
    p.setBrush(lit_ ? litColour_ : QColor(0x55, 0x55, 0x55));
    p.drawEllipse(QRectF(2, 3, 12, 12));
    p.setPen(palette().windowText().color());
    p.drawText(QRect(20, 0, width() - 20, height()), Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("'%1'").arg(name_));
  }

 private:
  QString name_;
  QColor litColour_;
  bool lit_ = false;
};

namespace {

constexpr int kRefreshMs = 100;
constexpr int kDisplayWidth = 210;
constexpr std::size_t kMaxCallData = 24;

struct FormatChoice {
  const char* name;
  std::uint8_t code;
};
constexpr FormatChoice kFormats[] = {{"Contact ID", 0x11},
                                     {"Low Speed", 0x23},
                                     {"Secsoa", 0x33},
                                     {"Korvex", 0x40},
                                     {"Presto", 0x50}};

std::optional<std::vector<std::uint8_t>> ParseHexBytes(const QString& text) {
  QString digits = text;
  digits.remove(QLatin1Char(' '));
  if (digits.size() % 2 != 0)
    return std::nullopt;
  std::vector<std::uint8_t> bytes;
  for (qsizetype i = 0; i < digits.size(); i += 2) {
    bool ok = false;
    const uint value = digits.mid(i, 2).toUInt(&ok, 16);
    if (!ok)
      return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(value));
  }
  if (bytes.size() > kMaxCallData)
    return std::nullopt;
  return bytes;
}

// The format code is the first word of the choice, so a code typed by hand works too.
std::optional<std::uint8_t> ParseFormat(const QString& text) {
  bool ok = false;
  const uint code = text.section(QLatin1Char(' '), 0, 0).toUInt(&ok, 16);
  if (!ok || code > 0xFF)
    return std::nullopt;
  return static_cast<std::uint8_t>(code);
}

QString StateText(const sim::UnitSnapshot& unit) {
  if (!unit.present)
    return QStringLiteral("Нет на стенде");
  return QStringLiteral("Режим %1, состояние %2h")
      .arg(unit.mode)
      .arg(unit.stateFlags, 2, 16, QLatin1Char('0'));
}

QString CounterText(const sim::UnitSnapshot& unit) {
  return QStringLiteral("Принято %1, передано %2").arg(unit.received).arg(unit.sent);
}

QString BuzzerText(const sim::UnitSnapshot& unit) {
  if (!unit.toneOn)
    return QStringLiteral("Зуммер: тихо");
  return QStringLiteral("Зуммер: 1000 Гц, громкость %1").arg(unit.toneVolume);
}

}  // namespace

TFmBench::TFmBench(sim::VirtualBench& bench, sim::VirtualTechnician& technician, QWidget* parent)
    : QWidget(parent, Qt::Window), bench_(bench), technician_(technician) {
  setObjectName("FmBench");
  setWindowTitle(QStringLiteral("Виртуальный стенд"));
  setFont(WindowFont());

  auto* layout = new QVBoxLayout(this);
  auto* unitsRow = new QHBoxLayout();
  unitsRow->addWidget(BuildUnit(urUnderTest, QStringLiteral("Проверяемое УПО")));
  unitsRow->addWidget(BuildUnit(urReference, QStringLiteral("Эталонное УПО")));
  layout->addLayout(unitsRow);
  layout->addWidget(BuildSimulator());
  layout->addWidget(BuildCall());

  technicianAnswers_ = new QCheckBox(QStringLiteral("Отвечает виртуальный техник"), this);
  technicianAnswers_->setObjectName("CBTechnician");
  layout->addWidget(technicianAnswers_);
  dialogue_ = new QLabel(this);
  dialogue_->setObjectName("LbDialogue");
  dialogue_->setWordWrap(true);
  dialogue_->setMinimumHeight(30);
  layout->addWidget(dialogue_);
  layout->addStretch();

  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, &TFmBench::Refresh);
  timer_->start(kRefreshMs);
  Refresh();
}

TFmBench::~TFmBench() = default;

QWidget* TFmBench::BuildUnit(int role, const QString& title) {
  auto* box = new QGroupBox(title, this);
  auto* form = new QVBoxLayout(box);
  UnitWidgets& w = units_[static_cast<std::size_t>(role)];

  w.display = new QLabel(box);
  w.display->setObjectName(role == urUnderTest ? "LbDisplayUT" : "LbDisplayRef");
  w.display->setFont(LogFont());
  w.display->setFixedSize(kDisplayWidth, 24);
  w.display->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  w.display->setStyleSheet(QStringLiteral("background:#203020; color:#b8f0a0; padding:2px;"));
  form->addWidget(w.display);

  auto* lamps = new QHBoxLayout();
  w.line = new Lamp(QStringLiteral("Линия"), QColor(0x30, 0xD0, 0x40), box);
  w.computer = new Lamp(QStringLiteral("Компьютер"), QColor(0xF0, 0xB0, 0x20), box);
  lamps->addWidget(w.line);
  lamps->addWidget(w.computer);
  form->addLayout(lamps);

  w.buzzer = new QLabel(box);
  w.beeps = new QLabel(box);
  w.state = new QLabel(box);
  w.counters = new QLabel(box);
  for (QLabel* label : {w.buzzer, w.beeps, w.state, w.counters})
    form->addWidget(label);

  auto* wiringRow = new QHBoxLayout();
  wiringRow->addWidget(new QLabel(QStringLiteral("Линия:"), box));
  w.wiring = new QComboBox(box);
  w.wiring->addItems({QStringLiteral("не подключена"), QStringLiteral("имитатор"),
                      QStringLiteral("телефонная линия")});
  wiringRow->addWidget(w.wiring, 1);
  form->addLayout(wiringRow);
  connect(w.wiring, &QComboBox::activated, this, [this, role](int index) {
    bench_.Wire(static_cast<TUnitRole>(role), static_cast<sim::Wiring>(index));
    Refresh();
  });

  w.usb = new QCheckBox(QStringLiteral("Подключено к USB"), box);
  form->addWidget(w.usb);
  connect(w.usb, &QCheckBox::toggled, this, [this, role](bool plugged) {
    const auto unit = static_cast<TUnitRole>(role);
    if (plugged) {
      bench_.Plug(unit);
    } else {
      bench_.Unplug(unit);
    }
    Refresh();
  });
  return box;
}

QWidget* TFmBench::BuildSimulator() {
  auto* box = new QGroupBox(QStringLiteral("Имитатор телефонной линии"), this);
  auto* row = new QHBoxLayout(box);
  auto add = [this, box, row](const QString& caption, std::function<void(bool)> set) {
    auto* check = new QCheckBox(caption, box);
    row->addWidget(check);
    connect(check, &QCheckBox::toggled, this, [this, set = std::move(set)](bool on) {
      set(on);
      Refresh();
    });
    return check;
  };
  lineButton_ = add(QStringLiteral("'ЛИНИЯ'"), [this](bool on) { bench_.SetLineButton(on); });
  attenuationButton_ =
      add(QStringLiteral("'ЗАТУХАНИЕ'"), [this](bool on) { bench_.SetAttenuationButton(on); });
  generator_ =
      add(QStringLiteral("Генератор 425 Гц"), [this](bool on) { bench_.SetGenerator(on); });
  power_ = add(QStringLiteral("Питание"), [this](bool on) { bench_.SetSimulatorPower(on); });
  row->addStretch();
  return box;
}

QWidget* TFmBench::BuildCall() {
  auto* box = new QGroupBox(QStringLiteral("Вызов с удаленного пульта"), this);
  auto* grid = new QGridLayout(box);
  callTarget_ = new QComboBox(box);
  callTarget_->addItem(QStringLiteral("проверяемому"), urUnderTest);
  callTarget_->addItem(QStringLiteral("эталонному"), urReference);
  grid->addWidget(new QLabel(QStringLiteral("Кому:"), box), 0, 0);
  grid->addWidget(callTarget_, 0, 1);
  callFormat_ = new QComboBox(box);
  callFormat_->setEditable(true);
  for (const FormatChoice& format : kFormats) {
    callFormat_->addItem(
        QStringLiteral("%1 %2").arg(format.code, 2, 16, QLatin1Char('0')).arg(format.name));
  }
  grid->addWidget(new QLabel(QStringLiteral("Формат (hex):"), box), 0, 2);
  grid->addWidget(callFormat_, 0, 3);
  callData_ = new QLineEdit(QStringLiteral("12 34 56 78"), box);
  callData_->setFont(EditFont());
  grid->addWidget(new QLabel(QStringLiteral("Данные (hex):"), box), 1, 0);
  grid->addWidget(callData_, 1, 1, 1, 3);
  callNumber_ = new QLineEdit(QStringLiteral("2003"), box);
  callNumber_->setFont(EditFont());
  grid->addWidget(new QLabel(QStringLiteral("Звонит номер:"), box), 2, 0);
  grid->addWidget(callNumber_, 2, 1);
  auto* place = new QPushButton(QStringLiteral("Позвонить"), box);
  grid->addWidget(place, 2, 3);
  callResult_ = new QLabel(box);
  callResult_->setWordWrap(true);
  grid->addWidget(callResult_, 3, 0, 1, 4);
  connect(place, &QPushButton::clicked, this, &TFmBench::PlaceCall);
  return box;
}

void TFmBench::PlaceCall() {
  const std::optional<std::uint8_t> format = ParseFormat(callFormat_->currentText());
  const auto data = ParseHexBytes(callData_->text());
  if (!format) {
    callResult_->setText(QStringLiteral("Код формата: две шестнадцатеричные цифры"));
    return;
  }
  if (!data) {
    callResult_->setText(QStringLiteral("Данные: пары шестнадцатеричных цифр, не больше 24 байт"));
    return;
  }
  sim::RemoteCall call;
  call.target = static_cast<TUnitRole>(callTarget_->currentData().toInt());
  call.format = *format;
  call.data = *data;
  const QString number = callNumber_->text().trimmed();
  if (!number.isEmpty())
    call.callingNumber = number.toStdString();
  bench_.PlaceCall(call);
  callResult_->setText(QStringLiteral("Вызов поставлен: пульт позвонит, когда УПО будет слушать"));
}

void TFmBench::Refresh() {
  bench_.Update();
  for (int role : {urUnderTest, urReference}) {
    const sim::UnitSnapshot unit = bench_.Unit(static_cast<TUnitRole>(role));
    UnitWidgets& w = units_[static_cast<std::size_t>(role)];
    w.display->setText(QString::fromStdString(unit.display));
    w.line->SetLit(unit.lineIndicator);
    w.computer->SetLit(unit.computerIndicator);
    w.buzzer->setText(BuzzerText(unit));
    w.beeps->setText(QStringLiteral("Коротких сигналов: %1").arg(unit.beepsSinceAnswer));
    w.state->setText(StateText(unit));
    w.counters->setText(CounterText(unit));
    {
      const QSignalBlocker quiet(w.wiring);
      w.wiring->setCurrentIndex(static_cast<int>(unit.wiring));
    }
    {
      const QSignalBlocker quiet(w.usb);
      w.usb->setChecked(unit.plugged);
      w.usb->setEnabled(unit.present);
    }
  }
  const sim::SimulatorSnapshot simulator = bench_.Simulator();
  const std::pair<QCheckBox*, bool> switches[] = {{lineButton_, simulator.lineButton},
                                                  {attenuationButton_, simulator.attenuationButton},
                                                  {generator_, simulator.generator425},
                                                  {power_, simulator.power}};
  for (const auto& [check, on] : switches) {
    const QSignalBlocker quiet(check);
    check->setChecked(on);
  }
}

void TFmBench::SetTechnicianAnswering(bool answering) {
  technicianAnswers_->setChecked(answering);
}

bool TFmBench::Answering() const {
  return technicianAnswers_->isChecked();
}

bool TFmBench::Answer(const std::string& question) {
  const bool yes = technician_.Answer(question);
  dialogue_->setText(QStringLiteral("Вопрос: %1\nТехник: %2")
                         .arg(QString::fromStdString(question),
                              yes ? QStringLiteral("Да") : QStringLiteral("Нет")));
  return yes;
}

void TFmBench::CarryOut(const std::string& notice) {
  technician_.CarryOut(notice);
  dialogue_->setText(
      QStringLiteral("Указание: %1\nТехник: выполнено").arg(QString::fromStdString(notice)));
  Refresh();
}

}  // namespace vr512b::gui
