// The icons the views name are in the program, at their size, with a twice-as-large companion
// for high-DPI screens.
#include "views/viewresources.h"

#include <QImage>

#include <gtest/gtest.h>

namespace {

TEST(ViewResourcesTest, EveryIconIsRenderedAtItsSizeWithItsHighDpiCompanion)
{
    initViewResources();
    initViewResources(); // twice is harmless
    const struct
    {
        const char *name;
        int size;
    } icons[] = {{"package-broken", 12},
                 {"package-installed-updated", 12},
                 {"system-settings-17px", 17},
                 {"system-settings-32px", 32}};
    for (const auto &icon : icons) {
        const QString path = QStringLiteral(":/icons/%1.png").arg(QLatin1String(icon.name));
        const QImage normal(path);
        ASSERT_FALSE(normal.isNull()) << icon.name;
        EXPECT_EQ(normal.size(), QSize(icon.size, icon.size)) << icon.name;
        const QImage large(QStringLiteral(":/icons/%1@2x.png").arg(QLatin1String(icon.name)));
        EXPECT_EQ(large.size(), QSize(2 * icon.size, 2 * icon.size)) << icon.name;
        // Drawn, not empty: some pixel is not transparent.
        bool drawn = false;
        for (int y = 0; y < normal.height() && !drawn; ++y) {
            for (int x = 0; x < normal.width() && !drawn; ++x)
                drawn = qAlpha(normal.pixel(x, y)) > 0;
        }
        EXPECT_TRUE(drawn) << icon.name;
    }
}

} // namespace
