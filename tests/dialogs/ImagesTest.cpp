// The shared pictures: the right size, drawn, and the bells telling their states apart.

#include "ZelkImages.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {

int OpaquePixels(const QPixmap& pixmap) {
    const QImage image = pixmap.toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) > 128;
    return count;
}

// The colour at the bell's waist, where the body shows its state.
QColor BodyColour(const QPixmap& bell) {
    return bell.toImage().pixelColor(8, 8);
}

bool HasGreenBox(const QPixmap& bell) {
    const QColor corner = bell.toImage().pixelColor(13, 2);
    return corner.alpha() > 128 && corner.green() > 2 * corner.red();
}

} // namespace

TEST(Images, EveryPictureIsSixteenSquareAndDrawn) {
    const QList<QPixmap> others{ZelkQuestionMarkImage(), ZelkFolderImage(),
                                ZelkFolderUpImage(),     ZelkFunnelAddImage(),
                                ZelkFunnelDeleteImage(), ZelkFunnelDefineImage()};
    QList<QPixmap> all = ZelkBellImages();
    all += others;
    ASSERT_EQ(ZelkBellImages().size(), 4);
    for (const QPixmap& pixmap : all) {
        EXPECT_EQ(pixmap.size(), QSize(16, 16));
        EXPECT_GT(OpaquePixels(pixmap), 20);
        EXPECT_LT(OpaquePixels(pixmap), 16 * 16) << "a picture keeps a transparent background";
    }
}

TEST(Images, BellsShowActiveInRedAndAcknowledgedAsAGreenBox) {
    const QList<QPixmap>& bells = ZelkBellImages();
    for (int active : {1, 0})
        for (int acknowledged : {0, 1}) {
            const QPixmap& bell = bells[ZelkBellIndex(active, acknowledged)];
            const QColor body = BodyColour(bell);
            if (active)
                EXPECT_GT(body.red(), body.green() + 100);
            else
                EXPECT_LT(qAbs(body.red() - body.green()), 20) << "an inactive bell is grey";
            EXPECT_EQ(HasGreenBox(bell), acknowledged != 0);
        }
    EXPECT_EQ(ZelkBellIndex(true, false), 0);
    EXPECT_EQ(ZelkBellIndex(false, false), 1);
    EXPECT_EQ(ZelkBellIndex(true, true), 2);
    EXPECT_EQ(ZelkBellIndex(false, true), 3);
}

TEST(Images, FunnelMarksDiffer) {
    const QImage add = ZelkFunnelAddImage().toImage();
    const QImage del = ZelkFunnelDeleteImage().toImage();
    const QImage def = ZelkFunnelDefineImage().toImage();
    EXPECT_NE(add, del);
    EXPECT_NE(add, def);
    EXPECT_NE(del, def);
    EXPECT_NE(ZelkFolderImage().toImage(), ZelkFolderUpImage().toImage());
}
