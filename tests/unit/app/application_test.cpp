// The application around the windows: an exception that leaves an event handler, and the end
// of the program, which comes with the main window's close and with nothing else. These run
// the real event loop, so they live in a program of their own.
#include "app/sonarisapplication.h"
#include "windowfixture.h"

#include <QTimer>

#include <stdexcept>

TEST(ApplicationTest, AnExceptionFromADeliveryIsShownInTheErrorBoxAndTheEventCountsAsUnhandled) {
    RecordingMessageBoxes boxes;
    EXPECT_FALSE(DeliverReportingErrors([]() -> bool { throw std::runtime_error("Falha no canal"); }));
    EXPECT_FALSE(DeliverReportingErrors([]() -> bool { throw 42; }));
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[0].kind, RecordingMessageBoxes::Box::Error);
    EXPECT_EQ(boxes.boxes[0].text, "Falha no canal");
    EXPECT_EQ(boxes.boxes[0].caption, ApplicationTitle());
    EXPECT_EQ(boxes.boxes[1].text, "Erro inesperado");

    // A delivery that goes well answers for itself and shows nothing.
    EXPECT_TRUE(DeliverReportingErrors([] { return true; }));
    EXPECT_EQ(boxes.boxes.size(), 2u);
}

class EndOfProgramTest : public WindowFixture {};

TEST_F(EndOfProgramTest, AWindowClosedWhileTheMainWindowIsInTheTrayDoesNotEndTheProgramItsCloseDoes) {
    Tfrm_sonarisv1AAC& w = Create();
    EndWithMainWindow(w);
    w.show();
    constexpr int kStillRunning = 7;

    // A box (or the schedule editor) closed while the main window is hidden in the tray.
    QWidget box;
    QTimer::singleShot(0, [&] {
        w.hide();
        box.show();
    });
    QTimer::singleShot(50, [&] { box.close(); });
    QTimer::singleShot(400, [] { QCoreApplication::exit(kStillRunning); });
    EXPECT_EQ(QCoreApplication::exec(), kStillRunning);

    // The confirmed close of the inactive main window ends the loop at once.
    w.show();
    QTimer::singleShot(0, [&] { w.close(); });
    QTimer::singleShot(5000, [] { QCoreApplication::exit(kStillRunning); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_FALSE(w.isVisible());
    QGuiApplication::setQuitOnLastWindowClosed(true);
}
