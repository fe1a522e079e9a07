#include "views/fancylabel.h"

#include <QEasingCurve>
#include <QHBoxLayout>
#include <QLayout>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QToolButton>

namespace {

constexpr int LabelHeight = 21;
constexpr int AnimationMs = 500;

} // namespace

FancyLabel::FancyLabel(QWidget *parent)
    : QLabel(parent)
{
    QWidget *view = parentWidget();
    if (view)
        setText(view->windowTitle());
    QFont bold = font();
    bold.setWeight(QFont::Bold);
    setFont(bold);
    setFixedHeight(LabelHeight);
    setFrameShape(QFrame::NoFrame);
    setIndent(3);

    m_arrow = new QToolButton(this);
    m_arrow->setObjectName(QStringLiteral("arrowButton"));
    m_arrow->setArrowType(Qt::DownArrow);
    // The arrow is all the button shows; a screen reader needs it in words.
    m_arrow->setAccessibleName(tr("Collapse"));
    m_arrow->setAutoRaise(true);
    const int h = height();
    m_arrow->resize(h, h);
    m_arrow->setMinimumSize(h, h - 2);
    m_arrow->setMaximumSize(h, h - 1);

    // Without a parent there is nothing to animate; the label still toggles and signals.
    m_animation = new QPropertyAnimation(view, "maximumHeight", this);
    m_animation->setEasingCurve(QEasingCurve::InOutCubic);
    m_animation->setDuration(AnimationMs);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addStretch();
    layout->addWidget(m_arrow);

    m_expandedHeight = view ? view->height() : 0;
    m_collapsedHeight = height() + 3;

    connect(m_arrow, &QToolButton::clicked, this, &FancyLabel::buttonClicked);
    connect(m_arrow, &QToolButton::clicked, this, &FancyLabel::emitClicked);
    connect(m_animation, &QPropertyAnimation::finished, this, &FancyLabel::reactivateLayout);
}

FancyLabel::~FancyLabel() = default;

void FancyLabel::setArrowOnly(bool arrowOnly)
{
    m_arrowOnly = arrowOnly;
}

void FancyLabel::emitClicked()
{
    emit clicked();
}

void FancyLabel::buttonClicked()
{
    m_collapsed = !m_collapsed;
    m_arrow->setArrowType(m_collapsed ? Qt::UpArrow : Qt::DownArrow);
    m_arrow->setAccessibleName(m_collapsed ? tr("Expand") : tr("Collapse"));
    QWidget *view = parentWidget();
    if (m_arrowOnly || !view)
        return;
    m_animation->stop();
    m_animation->setStartValue(view->height());
    if (m_collapsed) {
        m_animation->setEndValue(m_collapsedHeight);
        view->setMinimumHeight(m_collapsedHeight);
    } else {
        m_animation->setEndValue(m_expandedHeight);
    }
    // While the height shrinks the layout would fight the animation by squeezing the children.
    if (view->layout())
        view->layout()->setEnabled(false);
    m_animation->start();
}

void FancyLabel::reactivateLayout()
{
    // A collapsed view keeps its layout off so that it shows the title line only.
    QWidget *view = parentWidget();
    if (m_collapsed || !view)
        return;
    view->setMinimumHeight(m_expandedHeight);
    if (view->layout()) {
        view->layout()->setEnabled(true);
        view->layout()->activate();
    }
}

void FancyLabel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !rect().contains(event->pos()))
        return;
    buttonClicked();
    emit clicked();
}
