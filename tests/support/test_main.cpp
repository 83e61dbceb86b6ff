// gtest main for every test binary: one QApplication for the whole run, so windows, timers
// and posted ticks work in any test.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Vendrasil Sonaris-V1 - DEMONSTRATIVO"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
