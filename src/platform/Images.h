// The shared button images: one list of 22 x 20 images, drawn at build time, that every window's
// buttons refer to by index (3 confirm, 4 refuse, 5 add, ... 16/17 the pin).
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QVector>

class TImageList {
public:
    enum Index {
        Confirm = 3, Refuse = 4, Add = 5, SelectNone = 6, Play = 7, Information = 8, Options = 9,
        Download = 10, PickFile = 11, Dictionaries = 12, EditWord = 13, PinOff = 16, PinOn = 17,
        Count = 18
    };
    static constexpr int Width = 22;
    static constexpr int Height = 20;

    TImageList();
    int count() const { return m_images.size(); }
    // An index outside the list gives an empty pixmap of the list's size.
    QPixmap pixmap(int index) const;
    QIcon icon(int index) const { return QIcon(pixmap(index)); }

private:
    QVector<QPixmap> m_images;
};
