// The program's entry sequence: the "-r" switch, the one-instance rule, the windows in their
// order, the activity library, the folders, the event loop and the shutdown in reverse order.
#pragma once

#include <QApplication>

// The framework object: reports an exception that escapes an event handler the way the
// standard exception message does, instead of ending the program.
class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

// Runs Wordpop; returns the process's exit code (always 0, as the tray program's callers expect).
int WordpopMain(int argc, char **argv);

// Ends the trainer, the catalogue, the cursor and the hidden window, in reverse order of their
// creation (the last steps of the shutdown; tests that build these objects end them the same way).
void DestroyProgramObjects();
