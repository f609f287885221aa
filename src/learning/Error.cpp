// Showing the trainer's panels and answering their keys.
#include "learning/Error.h"

#include <QAbstractButton>
#include <QWidget>

TError::TError(QWidget *errors, QWidget *input, QObject *parent)
    : QObject(parent), m_errors(errors), m_input(input)
{
    m_errors->hide();
}

int TError::Register(QWidget *panel)
{
    if (m_panels.size() >= MaxPanels)
        return -1;
    panel->hide();
    m_panels.push_back(panel);
    return int(m_panels.size()) - 1;
}

QWidget *TError::Panel(int number) const
{
    return number >= 0 && number < m_panels.size() ? m_panels[number] : nullptr;
}

void TError::SetButtons(QAbstractButton *remember, QAbstractButton *deleteOk, QAbstractButton *deleteCancel)
{
    m_remember = remember;
    m_deleteOk = deleteOk;
    m_deleteCancel = deleteCancel;
}

void TError::ShowState(int state)
{
    if (state == m_state)
        return;
    if (m_state != Normal)
        RestoreNormal();
    if (state != Normal)
        ShowPanel(state);
}

void TError::ShowPanel(int state)
{
    QWidget *panel = Panel(state);
    if (m_state != Normal || !panel)
        return;
    m_state = state;
    m_input->hide();
    m_errors->show();
    panel->show();
    panel->raise();
}

void TError::RestoreNormal()
{
    if (m_state == Normal)
        return;
    if (QWidget *panel = Panel(m_state))
        panel->hide();
    m_errors->hide();
    m_input->show();
    m_state = Normal;
}

bool TError::HandlePanelKey(int key)
{
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    const bool space = key == Qt::Key_Space;
    const bool esc = key == Qt::Key_Escape;
    QAbstractButton *button = nullptr;
    if (m_state == 2 && (enter || esc || space))
        button = m_remember;
    else if (m_state == 3 && (enter || space))
        button = m_deleteOk;
    else if (m_state == 3 && esc)
        button = m_deleteCancel;
    if (!button)
        return false;
    button->click();
    return true;
}
