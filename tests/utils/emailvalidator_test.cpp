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
    text = QStringLiteral("ann@lab.science");
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
