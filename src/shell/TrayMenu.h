// The tray icon and its small pop-up menu: a left click opens a lesson, a right click the menu
// with the automatic-lessons box and the add-word, options and quit buttons. Relies on the
// platform's tray icon, the lesson window interface of the scheduler and the settings record.
#pragma once

#include "settings/TOptions.h"

#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QFrame;
class QPushButton;
class TLessonWindow;
class TrayIcon;

class TFTrayMenu : public QWidget {
    Q_OBJECT
public:
    // Adds the tray icon ("Wordpop is running"); the destructor removes it.
    explicit TFTrayMenu(TLessonWindow &lesson, TOptions &options = Options, QWidget *parent = nullptr);
    ~TFTrayMenu() override;

    TrayIcon &Tray() { return *m_tray; }
    bool Busy() const { return m_busy; }

    // The tray icon's buttons.
    void TrayLeftButtonDown();
    void TrayRightButtonDown();
    // Shows the menu with its bottom-right corner at the cursor, kept on the work area.
    void Popup(QPoint cursor);

    // The windows the buttons open, run modally; a button whose window is not plugged in stays
    // disabled. The options window gets the cursor position.
    std::function<void()> RunAddWord;
    std::function<void(QPoint cursor)> RunOptions;
    // Ends the program (default: the event loop ends).
    std::function<void()> OnQuit;
    // Re-reads which windows are plugged in.
    void UpdateControls();

    // Commands of the controls (public for tests).
    void CBAutoShowClick(bool checked);
    void BAddWordClick();
    void BOptionsClick();
    void BQuitClick();

    QFrame *PMenu;
    QCheckBox *CBAutoShow;
    QPushButton *BAddWord;
    QPushButton *BOptions;
    QPushButton *BQuit;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // The frame around a dialog opened from the menu: busy, no automatic lesson, menu hidden.
    void RunBusy(const std::function<void()> &dialog);
    // Closes the menu once when the application loses the focus.
    void WatchDeactivation();
    void ShowAutoShowIcon();

    TLessonWindow &m_lesson;
    TOptions &m_options;
    std::unique_ptr<TrayIcon> m_tray;
    QMetaObject::Connection m_deactivation;
    bool m_busy = false;
};

// The one tray menu, made at start-up after the trainer window.
extern TFTrayMenu *FTrayMenu;
