#pragma once
// A window in an executable folder that the test fills first (with a
// configuration file, say), closed and started again in the same folder as a
// user restarts the tool. Messages are recorded instead of shown.
#include "formfixture.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

class ConfigFixture {
public:
    ConfigFixture();
    ~ConfigFixture();
    QString exeDir() const { return m_dir.path() + QLatin1Char('/'); }
    QString path(const QString &name) const { return exeDir() + name; }
    void writeFile(const QString &name, const QByteArray &bytes);
    QByteArray readFile(const QString &name) const;
    // Starts a window, as the program does with these command-line arguments;
    // a window still open goes first, without closing (nothing is saved).
    TForm1 &start(const QStringList &args = {});
    // Closes the window as the user does (which saves the settings); true
    // when it closed.
    bool close();
    TForm1 &form() { return *m_form; }
    RecordingDialogs dialogs;

private:
    QTemporaryDir m_dir;
    std::unique_ptr<TForm1> m_form;
};
