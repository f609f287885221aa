// The trainer's side of the dictionaries window: after a window that changed nothing the lesson
// stays as it was; after one that did, the changed folders are read again, the words recounted
// and a new question asked.
#include "ProgramGlobals.h"
#include "common/TestHome.h"
#include "engine/DataSet.h"
#include "learning/Lesson.h"
#include "learning/MainForm.h"
#include "platform/ProgramFolder.h"
#include "settings/TOptions.h"
#include "shell/HiddenWindow.h"
#include "store/Topics.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {

class TrainerAndDictionaries : public ::testing::Test {
protected:
    void SetUp() override
    {
        ProgramFolder::set(home.home());
        FNo = new TFNo;
        Options.StartImmediately = false;
        Options.ChildrenMode = false;
        Options.AutoPlayWordSound = false;
        Options.LoopPlay = false;
        TWords = new TDbfDataSet;
        TWords->SetExclusive(true);
        Topics = new TTopics(*TWords);
        FWordpop = new TFWordpop(FNo->Images(), *Topics);
        ASSERT_TRUE(FWordpop->InitialLoad());
        dictionary("first", 3);
        FWordpop->Lesson().RecountWords(tkAllLists);
    }
    void TearDown() override
    {
        DestroyProgramGlobals();
    }
    // A ticked dictionary of `count` words, closed again.
    void dictionary(const QString &name, int count)
    {
        ASSERT_TRUE(Topics->CreateDictionary(Topics->DictionaryPath(tkOn, name)));
        for (int i = 0; i < count; ++i) {
            TWords->Append();
            TWords->FieldByName("WORD1").SetAsString(name.toStdString() + std::to_string(i));
            TWords->FieldByName("WORD2").SetAsString("t");
            TWords->Post();
        }
        Topics->CloseDictionary();
    }

    TestHome home;
};

} // namespace

TEST_F(TrainerAndDictionaries, OnlyAChangeReloadsTheLesson)
{
    ASSERT_EQ(Options.StatStudiedWords, 3);
    // A window that reports no change: even words added behind its back are not counted.
    int runs = 0;
    FWordpop->RunDictionaries = [&](TopicKinds &changed) {
        ++runs;
        dictionary(QStringLiteral("second%1").arg(runs), 2);
        changed = 0;
        return false;
    };
    FWordpop->OpenDictionaries();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(Options.StatStudiedWords, 3);

    // One that reports the studied folder: read again and counted.
    FWordpop->RunDictionaries = [&](TopicKinds &changed) {
        ++runs;
        changed = KindBit(tkOn);
        return true;
    };
    FWordpop->OpenDictionaries();
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(Topics->Names(tkOn).size(), 2);
    EXPECT_EQ(Options.StatStudiedWords, 5);
}
