// The notification-area icon: added, its image changed, removed, and the two mouse buttons
// reported. The Linux implementation sits in linux/Tray.cpp. Where the desktop has no
// notification area the icon simply is not seen; Wordpop runs on without it.
#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

#include <memory>

class TrayIcon : public QObject {
    Q_OBJECT
public:
    // The desktop's icon of the platform; nothing is shown before add().
    static std::unique_ptr<TrayIcon> create(QObject *parent = nullptr);
    // Whether the desktop offers a notification area right now.
    static bool available();

    ~TrayIcon() override = default;

    virtual void add(const QIcon &icon, const QString &tip) = 0;
    virtual void setIcon(const QIcon &icon) = 0;
    virtual void remove() = 0;
    virtual bool added() const = 0;
    virtual QIcon icon() const = 0;
    virtual QString tip() const = 0;

signals:
    void leftButtonDown();
    void rightButtonDown();

protected:
    using QObject::QObject;
};

// Wordpop's two icons of its own drawing: lessons come by themselves, or they do not.
namespace TrayIcons {
QIcon lessonsOn();
QIcon lessonsOff();
} // namespace TrayIcons
