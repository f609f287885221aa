// The notification-area icon through Qt's system tray icon (XEmbed tray or StatusNotifierItem,
// whichever the desktop has): Trigger is the left button, Context the right one.
#include "platform/Tray.h"

#include <QSystemTrayIcon>

namespace {

class QtTrayIcon : public TrayIcon {
public:
    explicit QtTrayIcon(QObject *parent) : TrayIcon(parent), m_icon(this)
    {
        connect(&m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
            if (r == QSystemTrayIcon::Trigger)
                emit leftButtonDown();
            else if (r == QSystemTrayIcon::Context)
                emit rightButtonDown();
        });
    }
    ~QtTrayIcon() override { remove(); }

    void add(const QIcon &icon, const QString &tip) override
    {
        m_icon.setIcon(icon);
        m_icon.setToolTip(tip);
        // Shown even without a notification area: Qt puts it there once one appears.
        m_icon.show();
        m_added = true;
    }
    void setIcon(const QIcon &icon) override { m_icon.setIcon(icon); }
    void remove() override
    {
        m_icon.hide();
        m_added = false;
    }
    bool added() const override { return m_added; }
    QIcon icon() const override { return m_icon.icon(); }
    QString tip() const override { return m_icon.toolTip(); }

private:
    QSystemTrayIcon m_icon;
    bool m_added = false;
};

} // namespace

std::unique_ptr<TrayIcon> TrayIcon::create(QObject *parent)
{
    return std::make_unique<QtTrayIcon>(parent);
}

bool TrayIcon::available()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}
