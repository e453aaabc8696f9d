#include "formfixture.h"

FormFixture::FormFixture(const QStringList &args) {
    setDialogs(&dialogs);
    m_form = std::make_unique<TForm1>(exeDir(), args);
}

FormFixture::~FormFixture() {
    m_form.reset();
    setDialogs(nullptr);
}

void pickMode(TForm1 &form, int mode) { form.co_mode->setCurrentIndex(mode); }

void pickDevice(TForm1 &form, int type) {
    if (form.co_device->currentIndex() == type)
        form.co_device->setCurrentIndex(-1); // picking the shown item again must still apply it
    form.co_device->setCurrentIndex(type);
}
