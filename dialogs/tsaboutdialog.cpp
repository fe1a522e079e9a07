#include "dialogs/tsaboutdialog.h"

#include "tscore.h"
#include "views/viewresources.h"

#include <QApplication>
#include <QDate>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

TsAboutDialog::TsAboutDialog(QWidget *parent)
    : QDialog(parent)
{
    initViewResources();
    setWindowTitle(tr("About %1").arg(QGuiApplication::applicationDisplayName()));
    auto *layout = new QVBoxLayout(this);

    auto *logo = new QLabel(this);
    logo->setPixmap(QPixmap(QStringLiteral(":/icons/logo_200px.png")));
    layout->addWidget(logo);

    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("labelText"));
    m_text->setTextFormat(Qt::RichText);
    m_text->setWordWrap(true);
    m_text->setOpenExternalLinks(true);
    m_text->setTextInteractionFlags(Qt::TextBrowserInteraction);
    const QString dataFolder = QDir::toNativeSeparators(TsCore::dataRoot());
    m_text->setText(tr("<p><b>%1</b> %2<br>Built on %3 with Qt %4 (running on Qt %5)</p>"
                       "<p>Watches and runs live-cell incubation on the microscope stage.</p>"
                       "<p>Data folder:<br><tt>%6</tt></p>"
                       "<p>Shipped with:</p><ul>"
                       "<li>Qt, under the GNU Lesser General Public License version 3 "
                       "(<a href=\"https://www.gnu.org/licenses/lgpl-3.0.html\">LGPL-3.0</a>)</li>"
                       "<li>nginx, under the 2-clause BSD license</li>"
                       "<li>libcurl, under the curl license (MIT/X derivative)</li>"
                       "<li>tinyxml2, under the zlib license</li></ul>")
                        .arg(QGuiApplication::applicationDisplayName().toHtmlEscaped(),
                             QCoreApplication::applicationVersion().toHtmlEscaped(),
                             QLocale().toString(buildDate(), QLocale::LongFormat),
                             QStringLiteral(QT_VERSION_STR), QString::fromLatin1(qVersion()),
                             dataFolder.toHtmlEscaped()));
    layout->addWidget(m_text);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

TsAboutDialog::~TsAboutDialog() = default;

QDate TsAboutDialog::buildDate()
{
    // __DATE__ is "Mmm dd yyyy" in English whatever the locale, with a space for a leading zero.
    return QLocale::c().toDate(QString::fromLatin1(__DATE__).simplified(),
                               QStringLiteral("MMM d yyyy"));
}
