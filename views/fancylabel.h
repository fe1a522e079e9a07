// The title bar of every main-window view: the view's title in bold with an arrow at the right. A
// click on the bar or the arrow collapses the parent view to the bar, animating its maximum height,
// or expands it again; in arrow-only mode only the arrow turns and the owner decides what a click
// means (the channels view makes its tiles compact).
#pragma once

#include <QLabel>

class QPropertyAnimation;
class QToolButton;

class FancyLabel : public QLabel
{
    Q_OBJECT

public:
    // parent is the view whose height the label controls; its height now is the expanded height.
    explicit FancyLabel(QWidget *parent = nullptr);
    ~FancyLabel() override;

    bool isCollapsed() const { return m_collapsed; }
    bool isArrowOnly() const { return m_arrowOnly; }
    void setArrowOnly(bool arrowOnly);

    int collapsedHeight() const { return m_collapsedHeight; }
    int expandedHeight() const { return m_expandedHeight; }

    QToolButton *arrowButton() const { return m_arrow; }
    QPropertyAnimation *animation() const { return m_animation; }

signals:
    void clicked();

public slots:
    void emitClicked();
    void buttonClicked();
    void reactivateLayout();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QToolButton *m_arrow = nullptr;
    QPropertyAnimation *m_animation = nullptr;
    bool m_collapsed = false;
    bool m_arrowOnly = false;
    int m_collapsedHeight = 0;
    int m_expandedHeight = 0;
};
