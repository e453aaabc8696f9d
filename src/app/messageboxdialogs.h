#pragma once
// The program's side of the dialog seam: a modal QMessageBox.
#include "core/guard.h"

class MessageBoxDialogs : public Dialogs {
public:
    void showMessage(const QString &text) override;
};
