// Tests that build the program's process-wide objects (hidden window, cursor, catalogue,
// trainer) end them through the program's own shutdown steps.
#pragma once

#include "engine/DataSet.h"
#include "learning/MainForm.h"
#include "platform/ProgramFolder.h"
#include "shell/Application.h"
#include "shell/HiddenWindow.h"
#include "store/Topics.h"

#include <QString>

inline void DestroyProgramGlobals()
{
    DestroyProgramObjects();
    ProgramFolder::set(QString());
}
