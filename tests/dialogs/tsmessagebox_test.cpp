#include "dialogs/tsmessagebox.h"

#include <gtest/gtest.h>

namespace {

class TsMessageBoxTest : public ::testing::Test
{
protected:
    TsMessageBoxTest() { TsMessageBox::setAnswering(true); }
    ~TsMessageBoxTest() override
    {
        TsMessageBox::takeAsked();
        TsMessageBox::setAnswering(false);
    }
};

TEST_F(TsMessageBoxTest, QueuedAnswersAreGivenInOrderAndEveryBoxIsRecorded)
{
    TsMessageBox::queueAnswer(QMessageBox::Yes);
    TsMessageBox::queueAnswer(QMessageBox::No);
    EXPECT_EQ(TsMessageBox::question(nullptr, "Quit?", "Do you really want to quit?"),
              QMessageBox::Yes);
    EXPECT_EQ(TsMessageBox::question(nullptr, "Quit?", "Again?"), QMessageBox::No);
    EXPECT_EQ(TsMessageBox::critical(nullptr, "Device error", "<b>Heat Unit</b>"), QMessageBox::Ok);
    const QList<TsMessageBox::Asked> asked = TsMessageBox::takeAsked();
    ASSERT_EQ(asked.size(), 3);
    EXPECT_EQ(asked[0].icon, QMessageBox::Question);
    EXPECT_EQ(asked[0].title, "Quit?");
    EXPECT_EQ(asked[0].text, "Do you really want to quit?");
    EXPECT_EQ(asked[1].answer, QMessageBox::No);
    EXPECT_EQ(asked[2].icon, QMessageBox::Critical);
    EXPECT_TRUE(TsMessageBox::takeAsked().isEmpty());
}

TEST_F(TsMessageBoxTest, AnUnansweredBoxTakesItsDefaultOrTheSafeWayOut)
{
    EXPECT_EQ(TsMessageBox::question(nullptr, "Quit?", "?", QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::Yes),
              QMessageBox::Yes);
    EXPECT_EQ(TsMessageBox::question(nullptr, "Quit?", "?"), QMessageBox::No);
    EXPECT_EQ(TsMessageBox::warning(nullptr, "Save", "?", QMessageBox::Save | QMessageBox::Cancel),
              QMessageBox::Cancel);
}

} // namespace
