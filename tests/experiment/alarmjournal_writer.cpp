// Appends alarm journal lines to the file named on the command line as fast as it can, saying on
// standard output how many are written, until it is killed.
#include "experiment/tsalarmjournal.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    TsAlarmJournal journal;
    journal.setPath(QString::fromLocal8Bit(argv[1]));
    for (long i = 1;; ++i) {
        TsAlarmJournal::Entry entry;
        entry.channel = QStringLiteral("150T0:1");
        entry.event = QString::fromLatin1(TsAlarmJournal::EventAlarm);
        entry.value = QString::number(i);
        entry.details = QStringLiteral("line %1, with a comma and a \"quote\"").arg(i);
        if (!journal.append(entry))
            return 1;
        std::printf("%ld\n", i);
        std::fflush(stdout);
    }
}
