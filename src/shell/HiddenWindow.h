// The hidden application window: never shown, found by other instances by its name and title,
// owner of the shared services (button images, file list, activity timer).
#pragma once

#include "platform/Images.h"
#include "platform/FileTools.h"

#include <QWidget>

class ActivityMonitor;

class TFNo : public QWidget {
    Q_OBJECT
public:
    // Runs the start-up steps: settings loaded, run-time flags reset, activity timer set up,
    // autorun entry re-made when wanted. The program folder must be resolved before.
    explicit TFNo(QWidget *parent = nullptr);
    ~TFNo() override;

    const TImageList &Images() const { return m_images; }
    TFileList &FLBDirList() { return m_dirList; }
    ActivityMonitor *Activity() const { return m_activity; }

private:
    TImageList m_images;
    TFileList m_dirList;
    ActivityMonitor *m_activity = nullptr;
};

// The one hidden window, alive from start to shutdown.
extern TFNo *FNo;

// The autorun entry pointing at the running executable; failure says error 5.
void CreateAutorunShortcut();
// Removes it; a missing entry is no error.
void RemoveAutorunShortcut();
