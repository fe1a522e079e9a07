// Answers the page scripts nginx forwards over FastCGI: one route table names every path, what it
// accepts and how its page is composed from the installation's HTML fragments and current values.
// A page is answered again from its last rendering only when every fragment and every value that
// went into it is the same byte for byte, so a page is never behind the desktop.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

class FCGIRequest;
class TsEmailAlertSwitch;

class TsWebPageRenderer
{
public:
    // A placeholder ("%NAME%") and the text that replaces it.
    using Values = QList<QPair<const char *, QString>>;
    // One fragment of a page: the template's name below the served "html" folder and its values.
    struct Fragment
    {
        QByteArray templateName;
        Values values;
    };

    // The folder holding the templates ("/ts/channel.tmpl" is read below it).
    void setHtmlDir(const QString &dir);
    // The mailer manager's alert switch, which a browser may arm; not owned, null for none.
    void setEmailAlertSwitch(TsEmailAlertSwitch *alertSwitch);
    TsEmailAlertSwitch *emailAlertSwitch() const;
    // Forgets the templates read and the pages made (a new run of the web server).
    void clear();

    // Answers one request: status line, headers and body into the request's output.
    void handle(FCGIRequest *request);
    // The body of a page path; empty for a path the table does not know.
    QByteArray page(const QByteArray &path);

    // Texts placed into a page: HTML escaping for element content and quoted attributes, and
    // the variant for a single-quoted string in a script inside a quoted attribute.
    static QString htmlEscaped(const QString &text);
    static QString jsEscaped(const QString &text);
    // The template's placeholders filled in one pass; values are never scanned again.
    static QByteArray fill(const QByteArray &text, const Values &values);

private:
    QByteArray readTemplate(const QByteArray &name);

    QString m_htmlDir;
    TsEmailAlertSwitch *m_alertSwitch = nullptr;
    QHash<QByteArray, QByteArray> m_templates;
    struct Page
    {
        QByteArray key; // every fragment's name and values, as they went in
        QByteArray body;
    };
    QHash<QByteArray, Page> m_pages;
};
