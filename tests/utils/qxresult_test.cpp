#include "utils/qxresult.h"

#include <QDebug>
#include <QVariant>

#include <gtest/gtest.h>

TEST(QxResult, SuccessAndTheWaysToFail)
{
    EXPECT_TRUE(QxResult().isSuccess());
    EXPECT_TRUE(QxResult(true).isSuccess());
    EXPECT_EQ(QxResult().code(), 0);
    EXPECT_TRUE(QxResult().message().isEmpty());

    const QxResult plain = QxResult::failure();
    EXPECT_TRUE(plain.isError());
    EXPECT_EQ(plain.code(), 1);
    EXPECT_TRUE(plain.message().isEmpty());
    EXPECT_TRUE(QxResult(false).isError());

    const QxResult literal("Port busy");
    EXPECT_TRUE(literal.isError());
    EXPECT_EQ(literal.message(), "Port busy") << "a literal is a message, not a bool";
    EXPECT_EQ(literal.code(), 1);

    const QxResult file(5, QStringLiteral("Cannot open"));
    EXPECT_EQ(file.code(), 5);
}

TEST(QxResult, CauseChainJoinsOutermostFirst)
{
    const QxResult inner(3, QStringLiteral("Permission denied"));
    const QxResult middle(QStringLiteral("Cannot write file"), inner);
    const QxResult outer(QStringLiteral("Saving the profile failed"), middle);
    EXPECT_EQ(outer.message(), "Saving the profile failed");
    EXPECT_EQ(outer.cause().message(), "Cannot write file");
    EXPECT_EQ(outer.cause().cause().code(), 3);
    EXPECT_EQ(outer.toString(" / "),
              "Saving the profile failed / Cannot write file / Permission denied");
    EXPECT_TRUE(QxResult().toString(" / ").isEmpty());
}

TEST(QxResult, CopiesShareAndDebugOutputShowsTheChain)
{
    const QxResult a(QStringLiteral("outer"), QxResult(QStringLiteral("inner")));
    const QxResult b = a;
    EXPECT_EQ(a, b);
    EXPECT_NE(a, QxResult(QStringLiteral("outer")));

    QString text;
    QDebug(&text) << a;
    EXPECT_EQ(text, "(error:outer\n\tinner) ");
    text.clear();
    QDebug(&text) << QxResult();
    EXPECT_EQ(text, "(success) ");
}

TEST(QxResult, TravelsInVariantsUnderItsName)
{
    EXPECT_NE(QMetaType::type("QxResult"), 0);
    const QVariant v = QVariant::fromValue(QxResult(7, QStringLiteral("x")));
    EXPECT_EQ(v.value<QxResult>().code(), 7);
}
