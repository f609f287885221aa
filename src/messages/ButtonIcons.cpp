// A one-shot event filter per button: the Show event comes before the first paint.
#include "messages/ButtonIcons.h"

#include <QEvent>
#include <QPushButton>

namespace {

class IconOnShow : public QObject {
public:
    IconOnShow(QPushButton *button, QStyle::StandardPixmap icon) : QObject(button), m_icon(icon)
    {
        button->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            auto *button = static_cast<QPushButton *>(watched);
            button->removeEventFilter(this);
            button->setIcon(button->style()->standardIcon(m_icon, nullptr, button));
            deleteLater();
        }
        return false;
    }

private:
    QStyle::StandardPixmap m_icon;
};

} // namespace

void SetStandardIconOnShow(QPushButton *button, QStyle::StandardPixmap icon)
{
    new IconOnShow(button, icon);
}
