// main() of the view and dialog tests: a widget application in a temporary home that is removed
// afterwards, so that no test touches the operator's settings or data.
#include "testenvironment.h"

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    QTemporaryDir home;
    if (!home.isValid())
        return 2;
    isolateEnvironment(home.path());
    QApplication app(argc, argv);
    settleIdentityAndDataPath(home.path());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
