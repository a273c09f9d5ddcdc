#pragma once

class QCoreApplication;

namespace vr512b::gui {

// Installs the toolkit's own Russian texts (qtbase_ru.qm: the file dialogs,
// the standard buttons, the context menus), from the toolkit's translations
// folder or the "translations" folder beside the program. False when none
// was found; the toolkit then speaks English.
bool LoadToolkitTranslations(QCoreApplication& application);

}  // namespace vr512b::gui
