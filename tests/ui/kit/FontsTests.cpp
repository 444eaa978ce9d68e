// Names in Chinese, Japanese or Korean draw with real glyphs from the bundled fallback
// face, in both the system and the monospaced font, so no name shows as boxes.
#include <gtest/gtest.h>

#include <QGlyphRun>
#include <QRawFont>
#include <QTextLayout>

#include "ui/kit/Fonts.h"

using namespace sorvel::ui;

TEST(Fonts, CjkNamesDrawWithTheFallbackFace) {
    const struct {
        const char* name;
        QFont font;
    } cases[] = {{"system", Fonts::system(12)}, {"mono", Fonts::mono(12)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTextLayout layout(QString::fromUtf8("报告 日本語 한국어.txt"), c.font);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        bool sawFallback = false;
        for (const QGlyphRun& run : layout.glyphRuns()) {
            for (quint32 glyph : run.glyphIndexes()) EXPECT_NE(glyph, 0u) << run.rawFont().familyName().toStdString();
            sawFallback |= run.rawFont().familyName().startsWith("WenQuanYi Micro Hei");
        }
        EXPECT_TRUE(sawFallback);
    }
}
