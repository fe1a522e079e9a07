// Keeps tests away from the developer's home: HOME, the XDG folders, the settings store and the
// data root all point into a temporary folder.
#pragma once

#include <QString>

class QProcess;

// Before the application object exists: HOME and the XDG folders below home, test mode on.
void isolateEnvironment(const QString &home);
// After it exists: the program's identity and "dataPath" = home + "/data".
void settleIdentityAndDataPath(const QString &home);
// The temporary home of this test run.
QString testHome();
// Starts this test program again as child, running only the test case filter, with the variable
// name set to value; the child's test reads the variable to know it is the child.
void startTestCaseAsChild(QProcess &child, const char *name, const QString &value,
                          const QString &filter);
