#include "gui/usage_text.h"

namespace vr512b::gui {

extern const char kSettingsUsage[] =
    R"(  --settings РАЗДЕЛ  раздел реестра с параметрами тестирования:
                     HKEY_LOCAL_MACHINE (по умолчанию) или HKEY_CURRENT_USER
                     (по умолчанию с --simulate), ключ
                     Software\Korvex\DiagVR512B 32-битного представления реестра
)";

extern const char kHistoryUsage[] =
    R"(  --history АДРЕС    история проверок: файл SQLite (ПУТЬ или sqlite:ПУТЬ),
                     сервер PostgreSQL (postgresql://...) или none - не вести;
                     по умолчанию переменная VR512B_HISTORY, а без нее
                     %LOCALAPPDATA%\Korvex\vr512b-history.sqlite, с --simulate
                     vr512b-history-sim.sqlite рядом с ним
)";

extern const char kUsageTail[] = R"(  -h, --help         эта справка
  --version          версия программы

УПО (USB, VID 8002, PID 4002) программа находит через библиотеку hid.dll
Windows. Тесты без окна: vr512b-diag-cli --help.
Каждое нажатие кнопки теста (или «Проверить все») записывается в историю
проверок; «Сервис» - «История проверок...» показывает ее.
Код завершения: 0 - окно закрыто (также когда Windows завершает сеанс или
закрывает консоль: это действует как кнопка «Прервать» и закрытие окна);
1 - программа не может начать работу; 3 - окно не запустить (нет модуля
платформы Qt); 64 - ошибка в командной строке.
)";

}  // namespace vr512b::gui
