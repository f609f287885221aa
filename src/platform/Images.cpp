// The shared button images, drawn at build time by tools/buttonimages (the painting code lives
// there) and kept here as pixel data: a start makes the pixmaps without running the painter,
// whose path and stroke code would otherwise be loaded before the first window.
#include "platform/Images.h"

#include "ButtonImages.h"

#include <QImage>

#include <iterator>

static_assert(std::size(kButtonImages) == TImageList::Count);

TImageList::TImageList()
{
    m_images.reserve(Count);
    for (int i = 0; i < Count; ++i) {
        if (const std::uint32_t *pixels = kButtonImages[i]) {
            // The image only borrows the data; fromImage copies it into the pixmap.
            const QImage image(reinterpret_cast<const uchar *>(pixels), Width, Height, Width * 4,
                               QImage::Format_ARGB32_Premultiplied);
            m_images.push_back(QPixmap::fromImage(image));
        } else {
            QPixmap pm(Width, Height);
            pm.fill(Qt::transparent);
            m_images.push_back(pm);
        }
    }
}

QPixmap TImageList::pixmap(int index) const
{
    if (index < 0 || index >= m_images.size()) {
        QPixmap empty(Width, Height);
        empty.fill(Qt::transparent);
        return empty;
    }
    return m_images[index];
}
