#include "dialogs/tsalarmjournaldialog.h"
#include "ui_tsalarmjournaldialog.h"

#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentmanager.h"
#include "tscore.h"

#include <QDir>
#include <QHeaderView>
#include <QSet>

namespace {

const int ChannelRole = Qt::UserRole;

} // namespace

TsAlarmJournalDialog::TsAlarmJournalDialog(QWidget *parent, TsAlarmJournal *journal)
    : QDialog(parent)
    , ui(new Ui::TsAlarmJournalDialog)
    , m_journal(journal ? journal : TsCore::alarmJournal())
{
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui->tableJournal->setColumnCount(ColumnCount);
    ui->tableJournal->setHorizontalHeaderLabels({tr("Time"), tr("Channel"), tr("Event"),
                                                 tr("Value"), tr("Setpoint"), tr("Who"),
                                                 tr("Details")});
    ui->tableJournal->horizontalHeader()->setStretchLastSection(true);
    ui->tableJournal->verticalHeader()->hide();
    ui->tableJournal->setWordWrap(true);
    ui->tableJournal->setTextElideMode(Qt::ElideNone);
    ui->tableJournal->horizontalHeader()->setSectionResizeMode(DetailsColumn, QHeaderView::Stretch);
    // Wrapped details need taller rows once the dialog has its width.
    connect(ui->tableJournal->horizontalHeader(), &QHeaderView::sectionResized, ui->tableJournal,
            &QTableView::resizeRowsToContents);
    connect(ui->comboBoxChannel, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &TsAlarmJournalDialog::showRows);
    if (m_journal)
        connect(m_journal, &TsAlarmJournal::appended, this, &TsAlarmJournalDialog::reload);
    reload();
}

TsAlarmJournalDialog::~TsAlarmJournalDialog() = default;

void TsAlarmJournalDialog::reload()
{
    const QString path = m_journal ? m_journal->path() : QString();
    m_entries = path.isEmpty() ? QList<TsAlarmJournal::Entry>() : TsAlarmJournal::read(path);
    ui->labelFile->setText(path.isEmpty() ? tr("No user is chosen: there is no journal.")
                                          : QDir::toNativeSeparators(path));

    // The channels of the profile by name, then any other the journal names.
    const QString current = ui->comboBoxChannel->currentData(ChannelRole).toString();
    QStringList ids;
    QHash<QString, QString> names;
    if (const TsExperiment *experiment = TsCore::experimentManager()->currentExperiment()) {
        for (const TsExperimentChannel *channel : experiment->channels()) {
            ids << channel->id();
            names.insert(channel->id(), channel->name());
        }
    }
    for (const TsAlarmJournal::Entry &entry : qAsConst(m_entries)) {
        for (const QString &id : entry.channel.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (!ids.contains(id))
                ids << id;
        }
    }
    const QSignalBlocker blocker(ui->comboBoxChannel);
    ui->comboBoxChannel->clear();
    ui->comboBoxChannel->addItem(tr("All channels"), QString());
    for (const QString &id : qAsConst(ids)) {
        const QString name = names.value(id);
        ui->comboBoxChannel->addItem(name.isEmpty() ? id : QStringLiteral("%1 (%2)").arg(name, id),
                                     id);
    }
    ui->comboBoxChannel->setCurrentIndex(qMax(0, ui->comboBoxChannel->findData(current)));
    showRows();
}

void TsAlarmJournalDialog::showRows()
{
    const QString channel = ui->comboBoxChannel->currentData(ChannelRole).toString();
    ui->tableJournal->setRowCount(0);
    for (auto it = m_entries.crbegin(); it != m_entries.crend(); ++it) {
        if (!channel.isEmpty() && !it->concerns(channel))
            continue;
        const int row = ui->tableJournal->rowCount();
        ui->tableJournal->insertRow(row);
        const QStringList cells = {
            it->time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
            it->channel,
            it->event,
            it->value,
            it->setpoint,
            it->who,
            it->details};
        for (int column = 0; column < cells.size(); ++column) {
            auto *item = new QTableWidgetItem(cells.at(column));
            item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
            if (column == DetailsColumn)
                item->setToolTip(cells.at(column));
            ui->tableJournal->setItem(row, column, item);
        }
    }
    // The details take the room that is left and wrap in it: a mail server's words are long.
    ui->tableJournal->resizeColumnsToContents();
    ui->tableJournal->horizontalHeader()->setStretchLastSection(true);
    ui->tableJournal->resizeRowsToContents();
}
