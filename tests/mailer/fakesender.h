// A stand-in for the sender program in a folder of its own, for tests that must see the command
// line and the environment the mailer gives the program, or need it to fail or hang.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// A sender stand-in in its own folder; it records its arguments, the password variable and the
// message file, then runs the given shell lines.
struct FakeSender
{
    explicit FakeSender(const QByteArray &lines = "exit 0")
    {
        QFile script(dir.filePath(QStringLiteral("tessaro-mailsender")));
        EXPECT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\n"
                     "out=$(dirname \"$0\")\n"
                     "printf '%s\\n' \"$@\" > \"$out/args\"\n"
                     "printf '%s' \"$TESSARO_MAILSENDER_PASSWORD\" > \"$out/password\"\n"
                     "for a in \"$@\"; do case \"$a\" in\n"
                     "  *,text/plain,i) cp \"${a%,text/plain,i}\" \"$out/body\";; esac; done\n" +
                     lines + "\n");
        script.close();
        script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
    }
    QString read(const char *name) const
    {
        QFile file(dir.filePath(QLatin1String(name)));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    QTemporaryDir dir;
};
