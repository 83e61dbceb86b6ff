// An exception that leaves an event handler: the standard error box, and the program goes on.
#include "app/sonarisapplication.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(HandlerErrorTest, AnExceptionFromADeliveryIsShownInTheErrorBoxAndTheEventCountsAsUnhandled) {
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
