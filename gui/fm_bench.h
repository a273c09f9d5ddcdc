#pragma once

#include <QWidget>

#include <array>
#include <string>

#include "gui/operator_stand_in.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTimer;

namespace vr512b::sim {
class VirtualBench;
class VirtualTechnician;
}  // namespace vr512b::sim

namespace vr512b::gui {

class Lamp;

// The "Виртуальный стенд" window: what a person at the virtual bench sees and
// hears (both units' displays, indicators, buzzer and state) and what they can
// do (the simulator's switches, wiring, USB, a remote panel's call). With
// "Отвечает виртуальный техник" ticked it answers the console's questions and
// carries out its notices in place of the person.
class TFmBench final : public QWidget, public OperatorStandIn {
  Q_OBJECT

 public:
  TFmBench(sim::VirtualBench& bench, sim::VirtualTechnician& technician, QWidget* parent = nullptr);
  ~TFmBench() override;

  // Brings the model up to the present and shows it.
  void Refresh();
  void SetTechnicianAnswering(bool answering);

  // OperatorStandIn
  bool Answering() const override;
  bool Answer(const std::string& question) override;
  void CarryOut(const std::string& notice) override;

 private:
  struct UnitWidgets {
    QLabel* display = nullptr;
    Lamp* line = nullptr;
    Lamp* computer = nullptr;
    QLabel* buzzer = nullptr;
    QLabel* beeps = nullptr;
    QLabel* state = nullptr;
    QLabel* counters = nullptr;
    QComboBox* wiring = nullptr;
    QCheckBox* usb = nullptr;
  };

  QWidget* BuildUnit(int role, const QString& title);
  QWidget* BuildSimulator();
  QWidget* BuildCall();
  void PlaceCall();

  sim::VirtualBench& bench_;
  sim::VirtualTechnician& technician_;
  std::array<UnitWidgets, 2> units_;
  QCheckBox* lineButton_ = nullptr;
  QCheckBox* attenuationButton_ = nullptr;
  QCheckBox* generator_ = nullptr;
  QCheckBox* power_ = nullptr;
  QComboBox* callTarget_ = nullptr;
  QComboBox* callFormat_ = nullptr;
  QLineEdit* callData_ = nullptr;
  QLineEdit* callNumber_ = nullptr;
  QLabel* callResult_ = nullptr;
  QCheckBox* technicianAnswers_ = nullptr;
  QLabel* dialogue_ = nullptr;
  QTimer* timer_ = nullptr;
};

}  // namespace vr512b::gui
