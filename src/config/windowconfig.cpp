#include "config/windowconfig.h"

#include "app/tform1.h"
#include "config/configfile.h"
#include "core/guard.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QScreen>
#include <QTextBlock>
#include <variant>

using namespace Qt::StringLiterals;

namespace {

// A configuration file is about 1 KiB; anything far larger is not one (and a
// device file would never end).
constexpr qint64 maxConfigBytes = 1 << 20;

// Where the window opens when the file gives no usable position.
constexpr QPoint defaultWindowPos(59, 81);

enum class Special { None, HardConfig, OnlyIo, Top, Left, Address, Device, Mode };

// What a key of the file stands for in the window.
using Target = std::variant<Special, QCheckBox *, QLineEdit *, QComboBox *>;

// The targets in the order of configKeys.
std::array<Target, configKeyCount> targets(TForm1 &w) {
    return {{
        Special::HardConfig,
        Special::OnlyIo,
        Special::Top,
        Special::Left,
        Special::Address,
        w.ed_httpport,
        w.ed_password,
        Special::Device,
        Special::Mode,
        w.cb_autoall,
        w.ed_intervalall,
        w.cb_autoinputs,
        w.ed_intervalinputs,
        w.cb_autooutputs,
        w.ed_intervaloutputs,
        w.cb_autocounter,
        w.ed_intervalcounter,
        w.cb_autocounterclear,
        w.ed_intervalcounterclear,
        w.cb_autoset,
        w.ed_intervalset,
        w.ed_intervalreset,
        w.ed_setstate,
        w.ed_setmask,
        w.ed_resetstate,
        w.ed_resetmask,
        w.cb_autogoround,
        w.ed_autogoround,
        w.ed_tcpasciiport,
        w.cb_reconnect,
        w.ed_udplocalport,
        w.ed_udpremoteport,
        w.ed_localserverport,
        w.cb_disconnectserver,
        w.ed_disconnectservertime,
        w.co_tcpbinport,
        w.cb_reconnectbin,
        w.co_udplocalportbin,
        w.co_udpremoteportbin,
        w.co_localserverportbin,
        w.cb_disconnectserverbin,
        w.ed_disconnectservertimebin,
        w.ed_tcpmodbusport,
        w.cb_reconnectmodbus,
        w.co_udplocalportsnmp,
        w.ed_udpremoteportsnmp,
        w.cb_viernull,
        w.cb_report,
        w.cb_autoclear,
        w.ed_autoclear,
    }};
}

// The item index that a selector has selected, -1 for none. The selector's
// text is what the program goes by (typed text that names an item applies
// that item); the type selector has none until a type was chosen.
int selectedItem(const TForm1 &w, const QComboBox *combo) {
    if (combo == w.co_device && !w.deviceChosen)
        return -1;
    return itemIndexOf(combo);
}

// Selects item index as the program does, which runs no change handler (the
// window's handlers listen to the user's picks and typing only). An index
// that is no item leaves none selected: the mode selector is emptied (no
// mode); the type selector goes on showing its caption, as at a fresh start,
// with no type chosen.
void selectItem(TForm1 &w, QComboBox *combo, int index) {
    const bool isItem = index >= 0 && index < combo->count();
    if (combo == w.co_device)
        w.deviceChosen = isItem;
    if (isItem) {
        combo->setCurrentIndex(index);
        combo->setEditText(combo->itemText(index));
    } else if (combo == w.co_mode) {
        combo->setCurrentIndex(-1);
        combo->setEditText(QString());
    }
}

// A selector's text, set as the program does: the matching item (if any) is
// selected, so that its list opens on it.
void setComboText(QComboBox *combo, const QString &text) {
    const int index = combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        combo->setCurrentIndex(index);
    combo->setEditText(text);
}

// A window position that a user can reach: some screen shows the top of the
// frame, where the window is taken to move it.
bool onSomeScreen(QPoint framePos) {
    const QPoint grip = framePos + QPoint(50, 10);
    for (const QScreen *screen : QGuiApplication::screens())
        if (screen->geometry().contains(grip))
            return true;
    return false;
}

void applyLine(TForm1 &w, const Target &target, const ConfigSetting &s, QString &address, QPoint &pos) {
    if (auto *check = std::get_if<QCheckBox *>(&target)) {
        (*check)->setChecked(s.flag);
        if (*check == w.cb_autoclear)
            w.cb_autoclearClick();
    } else if (auto *edit = std::get_if<QLineEdit *>(&target)) {
        (*edit)->setText(s.text);
    } else if (auto *combo = std::get_if<QComboBox *>(&target)) {
        setComboText(*combo, s.text);
    } else {
        switch (std::get<Special>(target)) {
        case Special::HardConfig: w.hardConfig = s.flag; break;
        case Special::Top: pos.setY(s.number); break;
        case Special::Left: pos.setX(s.number); break;
        case Special::Address:
            if (!s.text.isEmpty())
                address = s.text;
            break;
        case Special::Device: selectItem(w, w.co_device, s.number); break;
        case Special::Mode: selectItem(w, w.co_mode, s.number); break;
        case Special::OnlyIo:
        case Special::None: break;
        }
    }
}

} // namespace

QStringList memoLines(const QPlainTextEdit *memo) {
    // Block by block: the widget's plain-text export would turn no-break
    // spaces into blanks.
    QStringList lines;
    const QTextDocument *doc = memo->document();
    if (doc->isEmpty())
        return lines;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        lines << b.text();
    return lines;
}

void setMemoLines(QPlainTextEdit *memo, const QStringList &lines) { memo->setPlainText(lines.join(u'\n')); }

void cfgtomemo(TForm1 &w) {
    const auto bound = targets(w);
    QStringList lines;
    for (int key = 0; key < configKeyCount; ++key) {
        QString value;
        const Target &target = bound[key];
        if (auto *check = std::get_if<QCheckBox *>(&target)) {
            value = flagValue((*check)->isChecked());
        } else if (auto *edit = std::get_if<QLineEdit *>(&target)) {
            value = (*edit)->text();
        } else if (auto *combo = std::get_if<QComboBox *>(&target)) {
            value = (*combo)->currentText();
        } else {
            switch (std::get<Special>(target)) {
            case Special::HardConfig: value = flagValue(w.hardConfig); break;
            case Special::OnlyIo: value = flagValue(false); break;
            // The frame's position, the same that move() takes on reading,
            // so the window does not creep by its title bar from run to run.
            case Special::Top: value = QString::number(w.pos().y()); break;
            case Special::Left: value = QString::number(w.pos().x()); break;
            case Special::Address: value = w.ed_ip->text(); break;
            case Special::Device: value = QString::number(selectedItem(w, w.co_device)); break;
            case Special::Mode: value = QString::number(selectedItem(w, w.co_mode)); break;
            case Special::None: break;
            }
        }
        lines << configLine(key, value);
    }
    setMemoLines(w.mm_config, lines);
}

void cfgfrommemo(TForm1 &w) {
    const auto bound = targets(w);
    QString address;
    QPoint pos = w.pos();
    const QPoint before = pos;
    for (const QString &line : memoLines(w.mm_config)) {
        const ConfigSetting s = readConfigLine(line);
        if (!s.error.isEmpty()) {
            dialogs().showMessage(s.error);
            continue;
        }
        if (s.key < 0)
            continue;
        // A change handler that fails (an interval that is no number) ends
        // only this line, like a bad value.
        guard([&] { applyLine(w, bound[s.key], s, address, pos); });
    }
    if (pos != before)
        w.move(onSomeScreen(pos) ? pos : defaultWindowPos);
    if (!address.isEmpty())
        w.ed_ip->setText(address);
}

void loadConfig(TForm1 &w, const QString &path) {
    const QFileInfo info(path);
    if (!info.exists())
        return;
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << u"The settings file %1 cannot be read; the defaults stay."_s.arg(path);
        return;
    }
    const QByteArray bytes = file.read(maxConfigBytes + 1);
    if (bytes.size() > maxConfigBytes) {
        qWarning().noquote()
            << u"The settings file %1 is larger than 1 MiB and not read; the defaults stay."_s.arg(path);
        return;
    }
    setMemoLines(w.mm_config, configFileLines(bytes));
    cfgfrommemo(w);
}

bool saveConfig(TForm1 &w, const QString &path) {
    cfgtomemo(w);
    if (w.hardConfig)
        return true;
    QSaveFile file(path);
    const QByteArray bytes = configFileBytes(memoLines(w.mm_config));
    // Unbuffered, so that a short write (a full disk) shows in write()'s
    // count; a failed flush of a buffer inside commit() goes unnoticed.
    const bool saved = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
                       file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                       file.write(bytes) == bytes.size() && file.commit();
    if (!saved) {
        qWarning().noquote() << u"The settings were not saved to %1: %2"_s.arg(path, file.errorString());
        file.cancelWriting();
    }
    return saved;
}
