#include "utils/emailvalidator.h"

#include <gtest/gtest.h>

using Utils::EMail::Validator;

TEST(EMailValidator, StatesWhileTyping)
{
    Validator validator;
    int position = 0;
    QString text = QStringLiteral("  Ann.Lee@Lab.ORG ");
    EXPECT_EQ(validator.validate(text, position), QValidator::Acceptable);
    EXPECT_EQ(text, "ann.lee@lab.org") << "trimmed and lowered";

    text = QStringLiteral("ann@");
    EXPECT_EQ(validator.validate(text, position), QValidator::Intermediate);
    text = QStringLiteral("ann@lab.");
    EXPECT_EQ(validator.validate(text, position), QValidator::Intermediate);
    text = QStringLiteral("ann lee@lab.org");
    EXPECT_EQ(validator.validate(text, position), QValidator::Invalid);

    EXPECT_TRUE(Validator::isValid("a_b+c%d@x-y.de"));
    EXPECT_FALSE(Validator::isValid("a@b"));
    EXPECT_FALSE(Validator::isValid("@lab.org"));
    EXPECT_FALSE(Validator::isValid("ann@lab.org trailing"));
}

TEST(EMailValidator, CapitalsCountOnlyAsAsciiLetters)
{
    EXPECT_TRUE(Validator::isValid("Ann.Lee@LAB.Org")) << "capitals match without lowering";

    // Unicode case folding would let these pass for 's' and 'k'.
    const QString longS = QString::fromUtf8("ann\xC5\xBF@lab.org");
    const QString kelvin = QString::fromUtf8("\xE2\x84\xAA@lab.org");
    EXPECT_FALSE(Validator::isValid(longS));
    EXPECT_FALSE(Validator::isValid(kelvin));

    Validator validator;
    int position = 0;
    QString text = longS;
    EXPECT_EQ(validator.validate(text, position), QValidator::Invalid);
    // Lowering turns the Kelvin sign into an ASCII 'k', which then is a fine address.
    text = kelvin;
    EXPECT_EQ(validator.validate(text, position), QValidator::Acceptable);
    EXPECT_EQ(text, "k@lab.org");

    text = QStringLiteral("ann@lab.org\n");
    EXPECT_EQ(validator.validate(text, position), QValidator::Acceptable) << "line end trimmed";
    EXPECT_FALSE(Validator::isValid(QStringLiteral("ann@lab.org\n"))) << "whole text only";
}

// What the mail standards accept, and what they do not. Top-level domains of more than four
// letters used to be refused.
TEST(EMailValidator, AcceptsWhatTheMailStandardsAccept)
{
    for (const char *good : {"alice@cellbio.science", "alice@lab.example", "a.b-c@sub.lab.museum",
                             "o'neil@lab.ie", "x{1}@lab.org", "\"ann lee\"@lab.org",
                             "ann@[192.0.2.7]", "ann@xn--bcher-kva.xn--p1ai", "a@b.co"})
        EXPECT_TRUE(Validator::isValid(QString::fromUtf8(good))) << good;
    for (const char *bad : {"ann..lee@lab.org", ".ann@lab.org", "ann.@lab.org", "ann@-lab.org",
                            "ann@lab-.org", "ann@lab.o", "ann@lab.123", "ann@@lab.org",
                            "ann@lab..org", "\"ann@lab.org", "ann@localhost"})
        EXPECT_FALSE(Validator::isValid(QString::fromUtf8(bad))) << bad;
    EXPECT_FALSE(Validator::isValid(QString(65, 'a') + "@lab.org")) << "64 before the at sign";
    EXPECT_TRUE(Validator::isValid(QString(64, 'a') + "@lab.org"));

    EXPECT_EQ(Validator::addresses(" ann@lab.org; bob@cellbio.science , ,"),
              QStringList({"ann@lab.org", "bob@cellbio.science"}));
    EXPECT_TRUE(Validator::isValidList("ann@lab.org;bob@cellbio.science"));
    EXPECT_FALSE(Validator::isValidList("ann@lab.org; bob"));
    EXPECT_FALSE(Validator::isValidList(" ; "));
}
