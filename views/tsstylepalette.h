// What the style sheets cannot say. A sheet that gives widgets a text colour gives it to their
// placeholders as well, so that example text reads like an entry; and it never colours links, which
// keep the platform's dark blue on our dark window. This fills both in from the colours of the
// sheet in use, in either style.
#pragma once

#include <QObject>

class QWidget;

class TsStylePalette : public QObject
{
    Q_OBJECT

public:
    // After each new application style sheet: links take the sheet's accent (rich text takes them
    // from the application's palette when it is laid out), and from the first call on every text
    // field draws its placeholder halfway between its text and its background.
    static void followStyleSheet();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using QObject::QObject;
    static void tintPlaceholder(QWidget *widget);
};
