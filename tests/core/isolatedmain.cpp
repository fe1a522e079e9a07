// main() of tests that read or write settings and data files: everything lives in a temporary
// home that is removed afterwards.
#include "testenvironment.h"

#include <QTemporaryDir>

#ifdef TESSARO_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    QTemporaryDir home;
    if (!home.isValid())
        return 2;
    isolateEnvironment(home.path());
    TestApplication app(argc, argv);
    settleIdentityAndDataPath(home.path());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
