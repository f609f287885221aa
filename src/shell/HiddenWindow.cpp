// The hidden window's start-up steps and the autorun entry. Relies on the settings record
// (loaded here first of all) and on the program folder being resolved before it is created.
#include "shell/HiddenWindow.h"

#include "messages/ShowError.h"
#include "platform/Autorun.h"
#include "settings/TOptions.h"
#include "shell/ActivityMonitor.h"

#include <QCoreApplication>

TFNo *FNo = nullptr;

TFNo::TFNo(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TFNo"));
    setWindowTitle(QStringLiteral("HidenWindow"));

    LoadOptions(Options);
    // Run-time flags never carry over from an earlier run.
    Options.AutoShow = true;
    Options.HookLoaded = false;

    // Idle, nothing pending, the activity timer set to the pause but not running.
    m_activity = new ActivityMonitor(Options, this);

    if (Options.AutoRun)
        CreateAutorunShortcut();
}

TFNo::~TFNo() = default;

void CreateAutorunShortcut()
{
    if (!Autorun::create(QCoreApplication::applicationFilePath()))
        ShowError(5, QString());
}

void RemoveAutorunShortcut()
{
    Autorun::remove();
}
