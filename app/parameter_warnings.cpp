#include "app/parameter_warnings.h"

#include "common/text.h"
#include "common/utf8.h"
#include "device/device_types.h"
#include "device/serial_number.h"

namespace vr512b {

namespace {

// The number the exchange dials: the field without its blanks, of which the
// unit takes kMsgNumberMaxDigits characters.
void WarnOfLongNumber(const std::string& label, const std::string& number,
                      std::vector<std::string>& warnings) {
  const std::string dialled = TrimBlanksAndControls(number);
  if (Utf8Length(dialled) <= static_cast<std::size_t>(kMsgNumberMaxDigits))
    return;
  const std::string limit = std::to_string(kMsgNumberMaxDigits);
  warnings.push_back(label + " «" + dialled + "» длиннее " + limit +
                     " символов: УПО наберет только первые " + limit + ".");
}

}  // namespace

std::vector<std::string> ParameterWarnings(const TestParameterValues& values) {
  std::vector<std::string> warnings;
  // An empty field is how the operator says there is no reference unit.
  if (!values.NameVR512BSample.empty() && ReferenceSerialFromText(values.NameVR512BSample) == 0) {
    warnings.push_back(
        "Серийный номер эталонного УПО «" + values.NameVR512BSample +
        "» читается как 0, и эталонное УПО будет не задано. Номер пишется десятичными цифрами "
        "(не больше 2147483647) или шестнадцатеричными после $ или 0x, без пробелов в конце.");
  }
  WarnOfLongNumber("Телефон эталонного", values.PhoneSample, warnings);
  WarnOfLongNumber("Телефон диагностируемого", values.Phone, warnings);
  return warnings;
}

}  // namespace vr512b
