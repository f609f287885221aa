// How tests answer the shared modal windows without ever waiting on one: while a hook of the
// window's kind lives, the window is still set up and run modally, but it is recorded and closed
// from inside its own loop as soon as it is up, with the next queued answer (or a fallback).
// Hooks nest; the innermost one answers. The same idea as MessageBox::TestHook.
#pragma once

#include <QList>

#include <deque>

template <class Record, class Answer>
class ModalHook {
public:
    ModalHook() : m_previous(s_current) { s_current = this; }
    ~ModalHook() { s_current = m_previous; }
    ModalHook(const ModalHook &) = delete;
    ModalHook &operator=(const ModalHook &) = delete;

    // Queues the answer for the next window shown while this hook lives.
    void answer(const Answer &a) { m_answers.push_back(a); }
    int pending() const { return int(m_answers.size()); }

    // Every window shown while this hook lived, in order.
    const QList<Record> &shown() const { return m_shown; }
    void clear() { m_shown.clear(); }

    // Used by the windows.
    static ModalHook *current() { return s_current; }
    Answer take(const Record &r, const Answer &fallback)
    {
        m_shown.append(r);
        if (m_answers.empty())
            return fallback;
        Answer a = m_answers.front();
        m_answers.pop_front();
        return a;
    }

private:
    static inline ModalHook *s_current = nullptr;
    ModalHook *m_previous;
    std::deque<Answer> m_answers;
    QList<Record> m_shown;
};
