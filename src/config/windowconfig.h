#pragma once
// Moving the settings between the window and the configuration file.
//
// mm_config stands between file and controls: at start-up the file is loaded
// into it and applied (cfgfrommemo); at exit it is filled from the controls
// (cfgtomemo) and saved.
#include <QString>
#include <QStringList>

class TForm1;
class QPlainTextEdit;

// The lines mm_config holds, exactly (no character is changed on the way).
QStringList memoLines(const QPlainTextEdit *memo);
void setMemoLines(QPlainTextEdit *memo, const QStringList &lines);

// Fills mm_config with the 50 lines of the current settings.
void cfgtomemo(TForm1 &form);

// Applies mm_config to the window, line by line. A bad line shows its error
// through the dialog seam and is skipped; the lines after it still apply, so
// the save at exit cannot write defaults over them. Text keys set the
// control's text and so run its change handler; ticking or unticking
// "Autoclear" runs its click handler; "device" and "mode" only select their
// item. The address and the window position are applied after the last line.
void cfgfrommemo(TForm1 &form);

// Start-up: when path names a readable file, loads it into mm_config and
// applies it. A missing file is no error; one that cannot be read is said on
// stderr and the defaults stay.
void loadConfig(TForm1 &form, const QString &path);

// Exit: fills mm_config from the window and, unless hardConfig is set, saves
// it to path. The file is written beside the old one and renamed over it, so
// a failure at any point (a read-only folder, a full disk, a crash) leaves
// the old file whole; the failure is said on stderr and false returned. The
// file may hold the device password, so only its owner may read it.
bool saveConfig(TForm1 &form, const QString &path);
