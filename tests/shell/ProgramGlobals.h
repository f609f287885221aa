// Tests that build the program's process-wide objects (hidden window, cursor, catalogue,
// trainer) end them the way start-up's shutdown does, in reverse order of creation.
#pragma once

#include "engine/DataSet.h"
#include "learning/MainForm.h"
#include "platform/ProgramFolder.h"
#include "shell/HiddenWindow.h"
#include "store/Topics.h"

#include <QString>

inline void DestroyProgramGlobals()
{
    delete FWordpop;
    FWordpop = nullptr;
    if (Topics)
        Topics->CloseDictionary();
    delete Topics;
    Topics = nullptr;
    delete TWords;
    TWords = nullptr;
    delete FNo;
    FNo = nullptr;
    ProgramFolder::set(QString());
}
