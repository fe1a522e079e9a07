// Base of every element of a graph widget: colour, font and text, the pressed state that shows a
// highlight, and the save/paint/restore sequence the widget runs for each element.
#pragma once

#include <QColor>
#include <QFont>
#include <QObject>
#include <QString>

class QPainter;
class GraphAxis;
class GraphWidget;

class GraphObject : public QObject
{
    Q_OBJECT
public:
    // The element becomes a child of the widget; the widget's object tree owns it.
    explicit GraphObject(GraphWidget *widget);
    ~GraphObject() override;

    GraphWidget *widget() const { return m_widget; }

    // Position in the widget's list of its kind; -1 until the widget registers the element.
    int index() const { return m_index; }
    void setIndex(int index) { m_index = index; }

    // An invalid colour paints with the default pen.
    QColor color() const { return m_color; }
    void setColor(const QColor &color);
    QFont font() const { return m_font; }
    void setFont(const QFont &font);
    QString text() const { return m_text; }

    bool isPressed() const { return m_pressed; }
    void setPressed(bool pressed) { m_pressed = pressed; }
    bool isHighlightable() const { return m_highlightable; }
    void setHighlightable(bool highlightable) { m_highlightable = highlightable; }

    void draw(QPainter *painter, int flags);

    virtual void paint(QPainter *painter, int flags);
    virtual void paintBackground(QPainter *painter);
    virtual void refreshValues(GraphAxis *axis);
    virtual void rebuildEntries();
    // Declared after the element operations so that their slots keep their order.
    virtual void setText(const QString &text);

protected:
    GraphWidget *m_widget;
    int m_index = -1;
    QColor m_color;
    QFont m_font;
    QString m_text;
    bool m_pressed = false;
    bool m_highlightable = true;
};
