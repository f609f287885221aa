// The shared button images.
#include "platform/Images.h"

#include <QImage>
#include <gtest/gtest.h>

TEST(Images, EveryNamedIndexIsDrawnAt22By20)
{
    TImageList images;
    ASSERT_EQ(images.count(), int(TImageList::Count));
    for (int i : {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 16, 17}) {
        const QImage img = images.pixmap(i).toImage();
        EXPECT_EQ(img.size(), QSize(22, 20)) << i;
        int opaque = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                opaque += qAlpha(img.pixel(x, y)) > 128;
        EXPECT_GT(opaque, 15) << "image " << i << " is blank";
    }
    EXPECT_NE(images.pixmap(16).toImage(), images.pixmap(17).toImage()); // the pin's two states differ
    EXPECT_EQ(images.pixmap(99).size(), QSize(22, 20));                  // unknown index: empty image
}
