// The system's boxes in the operator's language: Qt's own catalogue for the user's locale.
#include "app/toolkitlanguage.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

TEST(ToolkitLanguage, UnderBrazilianPortugueseTheQuestionBoxReadsOkAndCancelar) {
    ASSERT_TRUE(InstallToolkitTranslations(*QCoreApplication::instance(), QLocale(QLocale::Portuguese, QLocale::Brazil)))
        << "Qt's catalogue qtbase_pt_BR.qm (Debian package qt6-translations-l10n)";
    QMessageBox box(QMessageBox::NoIcon, "Tavon Sistemas", "?", QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Ok)->text().remove('&'), "OK");
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text().remove('&'), "Cancelar");
}
