#include "app/keyfilter.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

QChar keyfilter(QChar key, int filter) {
    const char16_t c = key.unicode();
    if (c == 8)
        return key;
    const bool digit = c >= '0' && c <= '9';
    switch (filter) {
    case filterDigits: return digit ? key : QChar(0);
    case filterHex: return digit || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f') ? key : QChar(0);
    case filterAddress: return digit || c == '.' ? key : QChar(0);
    default: return key;
    }
}

namespace {

class KeyPressFilter : public QObject {
public:
    KeyPressFilter(QObject *parent, int filter) : QObject(parent), m_filter(filter) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            const QString text = key->text();
            // Only printable characters are typed text; control keys and
            // shortcuts (Ctrl+C, Ctrl+V, arrows, Delete) keep working.
            if (!text.isEmpty() && text.at(0).unicode() >= 0x20 &&
                !(key->modifiers() & Qt::ControlModifier)) {
                for (QChar c : text)
                    if (keyfilter(c, m_filter).isNull())
                        return true; // swallowed: the character never reaches the text
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    int m_filter;
};

} // namespace

void installKeyFilter(QWidget *field, int filter) {
    field->installEventFilter(new KeyPressFilter(field, filter));
    // An editable selector keeps the focus itself and hands typed keys to its
    // text field directly, past that field's event filters; the filter on the
    // selector catches those, this one whatever reaches the text field itself.
    if (auto *combo = qobject_cast<QComboBox *>(field); combo && combo->lineEdit())
        combo->lineEdit()->installEventFilter(new KeyPressFilter(combo->lineEdit(), filter));
}
