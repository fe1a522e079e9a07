#include "utils/namecheck.h"

#include <gtest/gtest.h>

using namespace Utils::NameCheck;

TEST(NameCheck, PlainFileNames)
{
    for (const char *good : {"ann", "Day 1", "profile.v2", "CONSOLE", "com", "COM10", "a.b.c",
                             "Zoë", "x-y_z (2)", "nul1"})
        EXPECT_TRUE(isValidFileName(QString::fromUtf8(good))) << good;
    for (const char *bad :
         {"",         "CON",     "con", "PRN.txt", "AUX", "CLOCK$", "NUL.tar.gz", "COM1",
          "lpt9.log", ".hidden", "..",  ".",       "a:b", "a?b",    "a*b",        "a\"b",
          "a;b",      "a|b",     "a<b", "a>b",     "a/b", "a\\b",   "tab\there",  "bell\x07"})
        EXPECT_FALSE(isValidFileName(QString::fromUtf8(bad))) << bad;
}

TEST(NameCheck, PathsMayNameSubFolders)
{
    for (const char *good : {"runs/overnight", "runs\\day1", "a/b/c.csv", "prefix"})
        EXPECT_TRUE(isValidFilePath(QString::fromUtf8(good))) << good;
    for (const char *bad : {"", "CON", ".config/x", "runs:1", "a/b?", "a|b/c", "x\ny"})
        EXPECT_FALSE(isValidFilePath(QString::fromUtf8(bad))) << bad;
}

TEST(NameCheck, NamesLongerThanAFileNameTakesAreTooLong)
{
    const QString most(MaxNameLength, QChar(0x00e9)); // two bytes each in UTF-8
    const QString over = most + 'x';
    for (const QString &fine : {most, most + "/" + most, "runs\\" + most, QString()})
        EXPECT_FALSE(isTooLong(fine)) << fine.size();
    for (const QString &tooLong : {over, "runs/" + over, over + "\\day1", most + "/" + over})
        EXPECT_TRUE(isTooLong(tooLong)) << tooLong.size();
    // With the time stamp and extension the recorder adds, the longest name still fits a file
    // system's 255 bytes when every character takes three of them.
    EXPECT_LE(MaxNameLength * 3 + int(sizeof("_2026-12-10_11-45-00_99.csv")), 255);
}
