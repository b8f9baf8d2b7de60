#include "app/imagelist.h"

#include <QColor>
#include <QImage>
#include <gtest/gtest.h>

#include <vector>

namespace velmora::app {
namespace {

const std::vector<int> kUsed{0,  1,  2,  3,  4,  5,  6,  11, 12, 13, 14,
                             15, 18, 21, 23, 25, 26, 28, 29, 32, 33, 34};
const std::vector<int> kUnused{7, 8, 9, 10, 16, 17, 19, 20, 22, 24, 27, 30, 31, 35};

QImage imageOf(const QPixmap& pixmap) {
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
}

int opaquePixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
    return count;
}

enum class Hue { Red, Yellow, Green, Blue, Other };

// Saturated colours sorted into the few hues the pictures use; greys, white and black are Other.
Hue hueOf(const QColor& c) {
    if (c.alpha() < 128 || c.hsvSaturation() < 90 || c.value() < 60)
        return Hue::Other;
    const int h = c.hsvHue();
    if (h < 22 || h >= 335)
        return Hue::Red;
    if (h >= 38 && h < 68)
        return Hue::Yellow;
    if (h >= 80 && h < 165)
        return Hue::Green;
    if (h >= 195 && h < 250)
        return Hue::Blue;
    return Hue::Other;
}

// The share of the clearly visible pixels that have the given hue.
double shareOf(const QImage& image, Hue hue) {
    int visible = 0;
    int matching = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() < 128)
                continue;
            ++visible;
            matching += hueOf(c) == hue ? 1 : 0;
        }
    }
    return visible == 0 ? 0.0 : static_cast<double>(matching) / visible;
}

bool isWhite(const QColor& c) {
    return c.alpha() > 200 && c.red() > 220 && c.green() > 220 && c.blue() > 220;
}

TEST(ImageList, UsedIndexesCarryAPictureOfSixteenPixels) {
    for (int index : kUsed) {
        SCOPED_TRACE(index);
        EXPECT_TRUE(imageListHasPicture(index));
        const QPixmap pixmap = imageListPixmap(index);
        EXPECT_EQ(pixmap.size(), QSize(16, 16));
        EXPECT_DOUBLE_EQ(pixmap.devicePixelRatio(), 1.0);
        // A real picture covers a fair part of the square, not a stray dot.
        EXPECT_GT(opaquePixels(imageOf(pixmap)), 40);
    }
}

TEST(ImageList, RoundAndTriangularPicturesLeaveTheirCornersClear) {
    for (int index : {0, 2, 3, 4, 21, 23}) {
        SCOPED_TRACE(index);
        const QImage image = imageOf(imageListPixmap(index));
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(image.pixel(15, 0)), 0);
        EXPECT_EQ(qAlpha(image.pixel(0, 15)), 0);
        EXPECT_EQ(qAlpha(image.pixel(15, 15)), 0);
    }
    const QImage warning = imageOf(imageListPixmap(11));
    EXPECT_EQ(qAlpha(warning.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(warning.pixel(15, 0)), 0);
}

TEST(ImageList, UnusedAndOutOfRangeIndexesAreFullyTransparent) {
    std::vector<int> empty = kUnused;
    empty.insert(empty.end(), {-1, kImageListSize, 1000});
    for (int index : empty) {
        SCOPED_TRACE(index);
        EXPECT_FALSE(imageListHasPicture(index));
        const QPixmap pixmap = imageListPixmap(index);
        EXPECT_EQ(pixmap.size(), QSize(16, 16));
        EXPECT_EQ(opaquePixels(imageOf(pixmap)), 0);
    }
}

TEST(ImageList, EveryUsedIndexHasItsOwnPicture) {
    for (std::size_t i = 0; i < kUsed.size(); ++i) {
        const QImage a = imageOf(imageListPixmap(kUsed[i]));
        for (std::size_t j = i + 1; j < kUsed.size(); ++j)
            EXPECT_NE(a, imageOf(imageListPixmap(kUsed[j])))
                << "indexes " << kUsed[i] << " and " << kUsed[j] << " look the same";
    }
}

TEST(ImageList, ColoursMatchTheDescribedPictures) {
    const QImage question = imageOf(imageListPixmap(0));
    EXPECT_GT(shareOf(question, Hue::Yellow), 0.5);
    EXPECT_GT(shareOf(question, Hue::Red), 0.05); // the question mark

    EXPECT_GT(shareOf(imageOf(imageListPixmap(1)), Hue::Green), 0.5);

    const QImage stop = imageOf(imageListPixmap(2));
    EXPECT_GT(shareOf(stop, Hue::Red), 0.5);
    EXPECT_TRUE(isWhite(stop.pixelColor(7, 7)) || isWhite(stop.pixelColor(8, 8)));

    const QColor greenCentre = imageOf(imageListPixmap(3)).pixelColor(8, 8);
    EXPECT_EQ(hueOf(greenCentre), Hue::Green);
    const QColor redCentre = imageOf(imageListPixmap(4)).pixelColor(8, 8);
    EXPECT_EQ(hueOf(redCentre), Hue::Red);
    // Both lamps sit in a white ring.
    EXPECT_TRUE(isWhite(imageOf(imageListPixmap(3)).pixelColor(8, 2)));
    EXPECT_TRUE(isWhite(imageOf(imageListPixmap(4)).pixelColor(8, 2)));

    EXPECT_GT(shareOf(imageOf(imageListPixmap(11)), Hue::Yellow), 0.5);
    EXPECT_GT(shareOf(imageOf(imageListPixmap(28)), Hue::Red), 0.5);
    EXPECT_GT(shareOf(imageOf(imageListPixmap(29)), Hue::Green), 0.5);
    EXPECT_GT(shareOf(imageOf(imageListPixmap(32)), Hue::Red), 0.4);
    EXPECT_GT(shareOf(imageOf(imageListPixmap(21)), Hue::Blue), 0.3);
    EXPECT_GT(shareOf(imageOf(imageListPixmap(21)), Hue::Yellow), 0.2);
    EXPECT_GT(shareOf(imageOf(imageListPixmap(5)), Hue::Yellow), 0.5);
}

TEST(ImageList, EmptyBoxIsWhiteInsideAndTheTickedOneIsNot) {
    const QImage empty = imageOf(imageListPixmap(14));
    const QImage ticked = imageOf(imageListPixmap(15));
    EXPECT_EQ(shareOf(empty, Hue::Green), 0.0);
    EXPECT_TRUE(isWhite(empty.pixelColor(7, 10)));
    EXPECT_GT(shareOf(ticked, Hue::Green), 0.05);
}

TEST(ImageList, IconListHoldsTheSamePicturesDrawnOnce) {
    const QList<QIcon>& icons = imageList1();
    ASSERT_EQ(icons.size(), kImageListSize);
    EXPECT_EQ(&icons, &imageList1());
    for (int index = 0; index < kImageListSize; ++index) {
        SCOPED_TRACE(index);
        const QImage fromIcon = imageOf(icons.at(index).pixmap(QSize(16, 16), 1.0));
        EXPECT_EQ(fromIcon, imageOf(imageListPixmap(index)));
        EXPECT_EQ(imageOf(imageListIcon(index).pixmap(QSize(16, 16), 1.0)), fromIcon);
    }
    EXPECT_TRUE(imageListIcon(-1).isNull());
    EXPECT_TRUE(imageListIcon(kImageListSize).isNull());
}

TEST(ImageList, WarningPictureIsALargeYellowTriangleWithADarkMark) {
    const QPixmap pixmap = warningPicture33();
    EXPECT_EQ(pixmap.size(), QSize(33, 33));
    EXPECT_DOUBLE_EQ(pixmap.devicePixelRatio(), 1.0);
    const QImage image = imageOf(pixmap);
    EXPECT_GT(shareOf(image, Hue::Yellow), 0.5);
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(image.pixel(32, 0)), 0);
    // The exclamation mark runs down the middle column.
    const QColor mark = image.pixelColor(16, 15);
    EXPECT_LT(mark.value(), 60);
}

TEST(ImageList, BlankPageIsALightPageWithoutText) {
    const QPixmap pixmap = blankPagePicture();
    EXPECT_EQ(pixmap.size(), QSize(16, 16));
    const QImage page = imageOf(pixmap);
    EXPECT_GT(opaquePixels(page), 100);
    EXPECT_TRUE(isWhite(page.pixelColor(6, 8)));
    EXPECT_NE(page, imageOf(imageListPixmap(25)));
}

} // namespace
} // namespace velmora::app
