#include "gui/usage_text.h"

namespace vr512b::gui {

extern const char kSettingsUsage[] =
    R"(  --settings ФАЙЛ    хранилище параметров тестирования (файл .reg); по умолчанию
                     $XDG_CONFIG_HOME/Korvex/DiagVR512B.reg (~/.config/...),
                     с --simulate DiagVR512B-sim.reg рядом с ним
)";

extern const char kHistoryUsage[] =
    R"(  --history АДРЕС    история проверок: файл SQLite (ПУТЬ или sqlite:ПУТЬ),
                     сервер PostgreSQL (postgresql://...) или none - не вести;
                     по умолчанию переменная VR512B_HISTORY, а без нее
                     $XDG_DATA_HOME/Korvex/vr512b-history.sqlite
                     (~/.local/share/...), с --simulate
                     vr512b-history-sim.sqlite рядом с ним
)";

extern const char kUsageTail[] = R"(  -h, --help         эта справка
  --version          версия программы

УПО (USB, VID 8002, PID 4002) программа находит через библиотеку
libhidapi-hidraw.so.0; доступ к их узлам /dev/hidraw* дает правило udev
70-vr512b.rules. Тесты без окна: vr512b-diag-cli --help.
Каждое нажатие кнопки теста (или «Проверить все») записывается в историю
проверок; «Сервис» - «История проверок...» показывает ее.
Код завершения: 0 - окно закрыто (также по SIGINT или SIGTERM: они действуют
как кнопка «Прервать» и закрытие окна); 1 - программа не может начать работу;
3 - нет дисплея; 64 - ошибка в командной строке.
)";

}  // namespace vr512b::gui
