// Keeps tests away from the developer's home: HOME, the XDG folders, the settings store and the
// data root all point into a temporary folder.
#pragma once

#include <QString>

// Before the application object exists: HOME and the XDG folders below home, test mode on.
void isolateEnvironment(const QString &home);
// After it exists: the program's identity and "dataPath" = home + "/data".
void settleIdentityAndDataPath(const QString &home);
// The temporary home of this test run.
QString testHome();
