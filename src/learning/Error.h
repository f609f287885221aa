// The trainer's state controller: the panels shown over the answer area instead of the input
// pages (no words, correction, delete confirmation) and the keys that answer them. The lesson
// decides the state; this class only shows it.
#pragma once

#include <QObject>
#include <QVector>

class QAbstractButton;
class QWidget;

class TError : public QObject {
    Q_OBJECT
public:
    static constexpr int Normal = 11;
    static constexpr int MaxPanels = 10;

    // `errors` is the frame that holds the panels (PErrors), `input` what it covers (PCInput).
    TError(QWidget *errors, QWidget *input, QObject *parent = nullptr);

    // Adds a panel under the next number and hides it; -1 when the list is full.
    int Register(QWidget *panel);
    QWidget *Panel(int number) const;
    int Count() const { return int(m_panels.size()); }

    // The buttons the panel keys press: "Запомню" (state 2), "Да" and "Нет" (state 3).
    void SetButtons(QAbstractButton *remember, QAbstractButton *deleteOk, QAbstractButton *deleteCancel);

    int TrainerState() const { return m_state; }
    // Shows the panel of `state` over the input pages, or the input pages again for Normal.
    // A panel is entered only from Normal; a panel state goes back to Normal first.
    void ShowState(int state);
    void ShowPanel(int state);
    void RestoreNormal();

    // A key while a panel is shown: true when it pressed a panel button (and goes no further).
    bool HandlePanelKey(int key);

private:
    QWidget *m_errors;
    QWidget *m_input;
    QVector<QWidget *> m_panels;
    QAbstractButton *m_remember = nullptr;
    QAbstractButton *m_deleteOk = nullptr;
    QAbstractButton *m_deleteCancel = nullptr;
    int m_state = Normal;
};
