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
