#include "formfixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QtTest>

FormFixture::FormFixture(const QStringList &args) {
    setDialogs(&dialogs);
    m_form = std::make_unique<TForm1>(exeDir(), args);
}

FormFixture::~FormFixture() {
    m_form.reset();
    setDialogs(nullptr);
}

// What the selector does when the user picks an item from its list: select
// it, then report the pick (also when the item was already selected).
static void pick(QComboBox *combo, int index) {
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

void pickMode(TForm1 &form, int mode) { pick(form.co_mode, mode); }

void pickDevice(TForm1 &form, int type) { pick(form.co_device, type); }

void typeInto(QComboBox *combo, const QString &text) {
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), text);
}
