#pragma once
// The toolkit's own texts (the buttons of the message boxes, the standard dialogs) in the
// user's language: the system's boxes read "OK" and "Cancelar" under pt_BR, as they would on
// the operator's own desktop. Qt's catalogues come from the distribution (Debian's
// qt6-translations-l10n); without them the boxes keep the toolkit's English texts.
#include <QLocale>

class QCoreApplication;

// Installs Qt's catalogue for `locale` on the application, before the first box is shown.
// False when there is none for that language.
bool InstallToolkitTranslations(QCoreApplication& app, const QLocale& locale = QLocale::system());
