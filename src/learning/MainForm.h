// The trainer window: the question on top, the transcription line at the bottom, between them
// the answer list, the typing box or the statistics, or one of TError's panels; the buttons and
// keys that reach the word commands and the program's other windows, and the lesson timer.
// What a question is and what an answer does is TLesson's; this window shows it and passes on
// clicks and keys. Relies on the shared button images, the settings record and the sound layer.
#pragma once

#include "learning/Error.h"
#include "learning/Lesson.h"
#include "sound/WordSound.h"
#include "store/Topics.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>
#include <QWidget>

#include <functional>

class TImageList;

// An image button with a highlight while the pointer is over it (red for the refusing ones).
// Painted here rather than by a style sheet, which would load Qt's style-sheet machinery at start.
class TImageButton : public QToolButton {
    Q_OBJECT
public:
    TImageButton(const QPixmap &image, const QString &caption, bool redHighlight, QWidget *parent);
    bool RedHighlight() const { return m_red; }

protected:
    void paintEvent(QPaintEvent *) override;

private:
    bool m_red;
};

// A push button drawn in the highlight colour while the pointer is over it.
class THighlightButton : public QPushButton {
    Q_OBJECT
public:
    THighlightButton(const QIcon &icon, const QString &caption, bool redHighlight, QWidget *parent);
    bool RedHighlight() const { return m_red; }

protected:
    void paintEvent(QPaintEvent *) override;

private:
    bool m_red;
};

// The answer list: plain text rows of a fixed height; the item under the pointer is selected.
class TAnswerList : public QListWidget {
    Q_OBJECT
public:
    static constexpr int ItemHeight = 16;
    explicit TAnswerList(QWidget *parent);
};

// A page control whose tab row has a fixed height, so that the answer list's height (and with it
// the number of answers offered) follows the window's size exactly.
class TPageControl : public QWidget {
    Q_OBJECT
public:
    static constexpr int TabHeight = 21;
    explicit TPageControl(QWidget *parent);
    QWidget *AddPage(const QString &objectName, const QString &caption);
    int count() const { return int(m_pages.size()); }
    int currentIndex() const { return m_current; }
    void setCurrentIndex(int index);
    QWidget *page(int index) const { return m_pages.value(index); }
    QTabBar *tabBar() const { return m_tabs; }
signals:
    void currentChanged(int index);

protected:
    void resizeEvent(QResizeEvent *) override;

private:
    QTabBar *m_tabs;
    QList<QWidget *> m_pages;
    int m_current = -1;
};

// A 3-pixel bar that reports how far it is dragged.
class TPanelSplitter : public QWidget {
    Q_OBJECT
public:
    explicit TPanelSplitter(QWidget *parent);
signals:
    void dragged(int dy);
    void released();

protected:
    void mousePressEvent(QMouseEvent *) override;
    void mouseMoveEvent(QMouseEvent *) override;
    void mouseReleaseEvent(QMouseEvent *) override;

private:
    int m_lastY = 0;
    bool m_dragging = false;
};

class TFWordpop : public QWidget {
    Q_OBJECT
public:
    // The images are the hidden window's (FNo->Images()); the catalogue is the program's one,
    // on the one cursor TWords.
    TFWordpop(const TImageList &images, TTopics &topics, QWidget *parent = nullptr);
    ~TFWordpop() override;

    // Once, after the settings are loaded: makes the program's folders, counts the words, arms
    // the lesson timer, applies the display settings, shows the first lesson when wanted.
    // False when a folder could not be made (said in a message box): the program must end.
    bool InitialLoad();
    // Display settings and children mode; again after the options window and on every resize.
    void ApplyModeAndSize();
    // Shows the lesson (or brings the window to the front when it is on screen).
    void ShowTrainer();
    // Hides the window as closing it does: saves sizes and settings, re-arms the lesson timer.
    void HideTrainer();
    void QuitProgram();
    // Only the quitting mark, for a quit that starts elsewhere (the tray menu): nothing is saved.
    void SetQuitting() { m_quitting = true; }
    // The program is ended from outside (SIGTERM, SIGINT, the desktop's session): keeps what
    // hiding the trainer keeps (the lesson's statistics, sizes) and sets the quitting mark.
    // Does nothing once a quit has begun, so the settings are written once at most.
    void SaveBeforeEnd();
    // The session asks for the user's data before it may end the program: the same save, but
    // the program goes on (the log-out may be cancelled).
    void SaveForSession();

    TLesson &Lesson() { return *m_lesson; }
    TError &Error() { return *m_error; }
    TSoundPlayer &Player() { return *MPlayer; }
    TWordSound &WordSound() { return *m_wordSound; }
    bool Quitting() const { return m_quitting; }
    int VisibleRows() const;

    // The lesson timer (AutoShowInterval minutes; 0 never fires).
    QTimer Timer;

    // What the rest of the program plugs in. Lesson scheduling: a tick of the lesson timer while
    // AutoShow is on (the timer is then switched off; without a hook the lesson simply shows).
    std::function<void()> OnLessonTimer;
    // Activity watching stops while a lesson is on screen and starts again after it.
    std::function<void()> OnLessonStarted;
    std::function<void()> OnLessonEnded;
    // Ends the program (default: QCoreApplication::exit(0)).
    std::function<void()> OnQuit;
    // The modal windows of the other parts. A command whose window is not plugged in is not
    // offered: its button stays disabled and its key does nothing.
    std::function<int()> RunAddWord;                   // 1: the lesson must be formed again
    std::function<int()> RunEditWord;                  // on the question record; 1 as above
    std::function<bool(TopicKinds &changed)> RunDictionaries; // true: something changed
    std::function<bool(QPoint position)> RunOptions;   // true: the settings were saved

    // Commands of the buttons and keys (public for the tray and for tests).
    void AddWord();
    void EditWord();
    void OpenDictionaries();
    void OpenOptions();
    void OpenInformation();
    // Re-reads which commands are plugged in (after setting one of the Run hooks).
    void UpdateControls();

    // The controls, named as everywhere in the program.
    QFrame *PQuestion;
    QCheckBox *ChQuestionVisible;
    QLabel *LQWord;
    TPanelSplitter *Splitter1;
    QWidget *PMain;
    TPageControl *PCInput;
    QWidget *TSSelect;
    TAnswerList *LAWords;
    QWidget *TSTyping;
    QLabel *LEnterAnswer;
    QLineEdit *EAnswer;
    QCheckBox *CBShowFirstLetter;
    QWidget *TSStatistics;
    QLabel *TSStat;
    QProgressBar *PBLearnProgress;
    QFrame *PErrors;
    QFrame *PError1;
    QLabel *LErr1;
    QFrame *PError2;
    QFrame *PError3;
    QLabel *LErr3_1;
    QLabel *LErr3_2;
    QPushButton *BRemember;
    QFrame *PError4;
    QLabel *LErr4_1;
    QPushButton *BDelWordOk;
    QPushButton *BDelWordCancel;
    TImageButton *BAddWord;
    TImageButton *BEditWord;
    TImageButton *BPlay;
    TImageButton *BMoveToLearned;
    TImageButton *BDelWord;
    TImageButton *BHelp;
    TImageButton *BEdit;
    TImageButton *BOptions;
    TImageButton *BQuit;
    TPanelSplitter *Splitter2;
    QFrame *PTranscr_old;
    QCheckBox *ChShowTranscr;
    QLabel *PTranscr;

    static const QString ProductName; // "Wordpop"

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void BuildControls(const TImageList &images);
    void DoLayout();
    void PrepareShow(bool flagsAllowed);
    void ApplyWindowMode(bool flagsAllowed);
    QSize MinimumClientSize() const;
    void ArmLessonTimer();
    void LessonTimerTick();
    void SavePlacement();

    // From the lesson.
    void QuestionShown();
    void PanelChanged(int previous, int state);
    void StatisticsChanged();
    void WordHintChanged();
    void ShowTranscriptionLine();
    void FocusAnswer();

    // Keys.
    bool HandleKey(QObject *watched, QKeyEvent *event);
    bool HandlePanelKeyFor(QKeyEvent *event);
    bool ListKey(QKeyEvent *event);
    bool AnswerEditKey(QKeyEvent *event);
    bool KeyTable(QKeyEvent *event);
    bool GiveUpClick(QObject *watched, QEvent *event);

    // Controls.
    void ChQuestionVisibleClicked(bool checked);
    void ChShowTranscrClicked(bool checked);
    void CBShowFirstLetterClicked(bool checked);
    void PageChanged(int index);
    void AnswerFromList();
    void MoveWordToLearned();
    void AskDelete();
    void RememberClicked();

    // Runs another window from the trainer: the word's replay pauses meanwhile.
    template <typename F> auto WithOtherWindow(F run);
    // Word commands are not offered while the no-words or the delete panel is shown.
    bool WordCommandsAllowed() const;
    bool WindowCommandsAllowed() const;

    TTopics &m_topics;
    TSoundPlayer *MPlayer;
    TWordSound *m_wordSound;
    TLesson *m_lesson;
    TError *m_error;

    bool m_quitting = false;
    bool m_children = false;      // children mode as last applied
    bool m_modeApplied = false;
    bool m_showPrepared = false;
    bool m_layoutBusy = false;
    bool m_changingFlags = false; // the frame is being re-made: hiding and showing is no lesson
    int m_questionHeight = 30;
    int m_transcriptionHeight = 26;
    int m_pendingHeight = 0;      // Splitter2's change, added to the window when the drag ends
    QFont m_questionFont;
    QFont m_transcriptionFont;
};

// The one trainer window, made at start-up after the hidden window.
extern TFWordpop *FWordpop;
