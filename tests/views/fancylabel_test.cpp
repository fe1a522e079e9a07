#include "views/fancylabel.h"

#include <QPropertyAnimation>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

// A view of 200 pixels with a title bar and something below it, as the main window stacks them.
struct View
{
    View()
    {
        widget.setWindowTitle(QStringLiteral("Recorder"));
        widget.resize(180, 200);
        label = new FancyLabel(&widget);
        auto *layout = new QVBoxLayout(&widget);
        layout->addWidget(label);
        layout->addWidget(new QWidget(&widget));
    }
    // Lets the running animation reach its end at once.
    void finishAnimation()
    {
        QPropertyAnimation *animation = label->animation();
        ASSERT_EQ(animation->state(), QAbstractAnimation::Running);
        animation->setCurrentTime(animation->duration());
        ASSERT_EQ(animation->state(), QAbstractAnimation::Stopped);
    }
    QWidget widget;
    FancyLabel *label = nullptr;
};

TEST(FancyLabelTest, TakesTheViewsTitleAndRemembersBothHeights)
{
    View view;
    EXPECT_EQ(view.label->text(), QStringLiteral("Recorder"));
    EXPECT_TRUE(view.label->font().bold());
    EXPECT_EQ(view.label->height(), 21);
    EXPECT_EQ(view.label->expandedHeight(), 200);
    EXPECT_EQ(view.label->collapsedHeight(), 24);
    EXPECT_EQ(view.label->arrowButton()->arrowType(), Qt::DownArrow);
    EXPECT_FALSE(view.label->isCollapsed());
}

TEST(FancyLabelTest, CollapsesTheViewToItsTitleAndExpandsItBack)
{
    View view;
    QSignalSpy clicked(view.label, &FancyLabel::clicked);
    QTest::mouseClick(view.label->arrowButton(), Qt::LeftButton);
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_TRUE(view.label->isCollapsed());
    EXPECT_EQ(view.label->arrowButton()->arrowType(), Qt::UpArrow);
    QPropertyAnimation *animation = view.label->animation();
    EXPECT_EQ(animation->duration(), 500);
    EXPECT_EQ(animation->easingCurve().type(), QEasingCurve::InOutCubic);
    EXPECT_EQ(animation->startValue().toInt(), 200);
    EXPECT_EQ(animation->endValue().toInt(), 24);
    EXPECT_FALSE(view.widget.layout()->isEnabled());
    view.finishAnimation();
    EXPECT_EQ(view.widget.maximumHeight(), 24);
    EXPECT_EQ(view.widget.minimumHeight(), 24);
    // Collapsed, the layout stays off so that only the title line shows.
    EXPECT_FALSE(view.widget.layout()->isEnabled());

    QTest::mouseClick(view.label->arrowButton(), Qt::LeftButton);
    EXPECT_FALSE(view.label->isCollapsed());
    EXPECT_EQ(animation->endValue().toInt(), 200);
    view.finishAnimation();
    EXPECT_EQ(view.widget.maximumHeight(), 200);
    EXPECT_EQ(view.widget.minimumHeight(), 200);
    EXPECT_TRUE(view.widget.layout()->isEnabled());
    EXPECT_EQ(clicked.count(), 2);
}

TEST(FancyLabelTest, AClickOnTheLabelItselfTogglesAndSignalsOnce)
{
    View view;
    QSignalSpy clicked(view.label, &FancyLabel::clicked);
    QTest::mouseClick(view.label, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_TRUE(view.label->isCollapsed());
    // A press that slides off the label before its release is no click.
    QTest::mouseClick(view.label, Qt::LeftButton, Qt::NoModifier, QPoint(-5, 50));
    EXPECT_EQ(clicked.count(), 1);
}

TEST(FancyLabelTest, ArrowOnlyTurnsTheArrowAndLeavesTheViewAlone)
{
    View view;
    view.label->setArrowOnly(true);
    const int maximum = view.widget.maximumHeight();
    QSignalSpy clicked(view.label, &FancyLabel::clicked);
    QTest::mouseClick(view.label->arrowButton(), Qt::LeftButton);
    EXPECT_TRUE(view.label->isCollapsed());
    EXPECT_EQ(view.label->arrowButton()->arrowType(), Qt::UpArrow);
    // A screen reader says what the arrow would do next.
    EXPECT_EQ(view.label->arrowButton()->accessibleName(), QStringLiteral("Expand"));
    EXPECT_EQ(view.label->animation()->state(), QAbstractAnimation::Stopped);
    EXPECT_EQ(view.widget.maximumHeight(), maximum);
    EXPECT_TRUE(view.widget.layout()->isEnabled());
    QTest::mouseClick(view.label->arrowButton(), Qt::LeftButton);
    EXPECT_FALSE(view.label->isCollapsed());
    EXPECT_EQ(view.label->arrowButton()->arrowType(), Qt::DownArrow);
    EXPECT_EQ(view.label->arrowButton()->accessibleName(), QStringLiteral("Collapse"));
    EXPECT_EQ(clicked.count(), 2);
}

} // namespace
