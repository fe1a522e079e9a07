// The alarm journal of the current user, newest event first, filtered by channel on request. It
// follows the journal while it is open.
#pragma once

#include "experiment/tsalarmjournal.h"

#include <QDialog>
#include <QList>
#include <QScopedPointer>

namespace Ui {
class TsAlarmJournalDialog;
}

class TsAlarmJournalDialog : public QDialog
{
    Q_OBJECT

public:
    enum Column
    {
        TimeColumn,
        ChannelColumn,
        EventColumn,
        ValueColumn,
        SetpointColumn,
        WhoColumn,
        DetailsColumn,
        ColumnCount
    };

    // The core's journal unless another is given.
    explicit TsAlarmJournalDialog(QWidget *parent = nullptr, TsAlarmJournal *journal = nullptr);
    ~TsAlarmJournalDialog() override;

public slots:
    // Reads the file again.
    void reload();

private slots:
    void showRows();

private:
    QScopedPointer<Ui::TsAlarmJournalDialog> ui;
    TsAlarmJournal *m_journal = nullptr;
    QList<TsAlarmJournal::Entry> m_entries;
};
