#pragma once
// A window for tests: a real TForm1 in an executable folder of its own (so no
// configuration file of a developer's run is read), with the dialog seam
// recording messages instead of blocking on them.
#include "core/guard.h"
#include "app/tform1.h"

#include <QStringList>
#include <QTemporaryDir>
#include <memory>

class RecordingDialogs : public Dialogs {
public:
    void showMessage(const QString &text) override { messages << text; }
    QStringList messages;
};

class FormFixture {
public:
    explicit FormFixture(const QStringList &args = {});
    ~FormFixture();
    TForm1 &form() { return *m_form; }
    TForm1 *operator->() { return m_form.get(); }
    RecordingDialogs dialogs;
    QString exeDir() const { return m_dir.path() + QLatin1Char('/'); }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<TForm1> m_form;
};

// Picks a mode in the mode selector as a user would.
void pickMode(TForm1 &form, int mode);
// Picks a device type in the type selector as a user would.
void pickDevice(TForm1 &form, int type);
// Types text into an editable selector's field as a user would, replacing
// what it shows.
void typeInto(QComboBox *combo, const QString &text);
