#include "configfixture.h"

#include <QFile>
#include <QtTest>

ConfigFixture::ConfigFixture() { setDialogs(&dialogs); }

ConfigFixture::~ConfigFixture() {
    m_form.reset();
    setDialogs(nullptr);
}

void ConfigFixture::writeFile(const QString &name, const QByteArray &bytes) {
    QFile file(path(name));
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(file.errorString()));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray ConfigFixture::readFile(const QString &name) const {
    QFile file(path(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TForm1 &ConfigFixture::start(const QStringList &args) {
    m_form.reset();
    m_form = std::make_unique<TForm1>(exeDir(), args);
    return *m_form;
}

bool ConfigFixture::close() { return m_form->close(); }
