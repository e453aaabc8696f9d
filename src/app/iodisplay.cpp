#include "app/iodisplay.h"

#include <QFrame>
#include <QMouseEvent>
#include <QPainter>

const QColor lampOnColor(0, 255, 0);
const QColor lampOffColor(0, 128, 0);

Lamp::Lamp(QWidget *parent) : QWidget(parent), m_color(lampOffColor) { resize(11, 11); }

void Lamp::setColor(const QColor &c) {
    if (c == m_color)
        return;
    m_color = c;
    update();
}

bool Lamp::isOn() const { return m_color == lampOnColor; }

void Lamp::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(m_color);
    p.drawEllipse(QRectF(0.5, 0.5, width() - 1.0, height() - 1.0));
}

void Lamp::mousePressEvent(QMouseEvent *event) { emit pressed(this, event->button()); }

CounterField::CounterField(QWidget *parent) : QLabel(parent) {
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    setFrameShape(QFrame::Box);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setText(QStringLiteral("0"));
}

void CounterField::mousePressEvent(QMouseEvent *) { emit clicked(this); }

namespace {

QFont smallFont() {
    QFont f;
    f.setPixelSize(9);
    return f;
}

QLabel *numberLabel(QWidget *parent, int i, int top) {
    auto *l = new QLabel(QString::number(i), parent);
    l->setFont(smallFont());
    l->setGeometry(i < 10 ? 17 * i + 9 : 17 * i + 6, top, 14, 12);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, Qt::white);
    l->setPalette(pal);
    return l;
}

} // namespace

IoDisplay::IoDisplay(QWidget *window) {
    pa_show_io = new QFrame(window);
    pa_show_io->setObjectName(QStringLiteral("pa_show_io"));
    pa_show_io->setGeometry(8, 144, 281, 153);

    pa_io = new QFrame(pa_show_io);
    pa_io->setObjectName(QStringLiteral("pa_io"));
    pa_io->setGeometry(0, 0, 281, 153);
    pa_io->setAutoFillBackground(true);
    QPalette ioPal = pa_io->palette();
    ioPal.setColor(QPalette::Window, QColor(0, 128, 255));
    pa_io->setPalette(ioPal);

    pa_co = new QLabel(pa_io);
    pa_co->setObjectName(QStringLiteral("pa_co"));
    pa_co->setGeometry(0, 38, 281, 72);
    pa_co->setAutoFillBackground(true);
    pa_co->setAlignment(Qt::AlignCenter);
    QPalette coPal = pa_co->palette();
    coPal.setColor(QPalette::Window, Qt::white);
    coPal.setColor(QPalette::WindowText, Qt::yellow);
    pa_co->setPalette(coPal);

    for (int i = 0; i < ioShown; ++i) {
        inputNumberLabels[i] = numberLabel(pa_io, i, 4);
        inputLamps[i] = new Lamp(pa_io);
        inputLamps[i]->move(17 * i + 7, 18);
        outputNumberLabels[i] = numberLabel(pa_io, i, 130);
        outputLamps[i] = new Lamp(pa_io);
        outputLamps[i]->move(17 * i + 7, 117);
        outputLamps[i]->setCursor(Qt::PointingHandCursor);
    }
    QFont buttonFont = smallFont();
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 4; ++row) {
            const int n = 4 * column + row;
            counterFields[n] = new CounterField(pa_co);
            counterFields[n]->setGeometry(69 * column + 2, 17 * row + 1, 45, 16);
            counterGetButtons[n] = new QPushButton(QStringLiteral("Get"), pa_co);
            counterGetButtons[n]->setGeometry(69 * column + 46, 17 * row + 2, 26, 16);
            counterGetButtons[n]->setFont(buttonFont);
        }
    }
}

void IoDisplay::show(const IoState &io, quint16 lastInput, quint16 lastOutput) {
    // The bounds come from the device table (at most 15); the clamp keeps a
    // corrupted bound from ever reaching past the 16 controls that exist.
    const int inputs = qMin<int>(lastInput, ioShown - 1);
    const int outputs = qMin<int>(lastOutput, ioShown - 1);
    for (int i = 0; i <= inputs; ++i)
        inputLamps[i]->setColor(io.inputs[i] ? lampOnColor : lampOffColor);
    for (int i = 0; i <= outputs; ++i)
        outputLamps[i]->setColor(io.outputs[i] ? lampOnColor : lampOffColor);
    for (int i = 0; i <= inputs; ++i)
        counterFields[i]->setText(QString::number(io.counters[i]));
}

void IoDisplay::applyVisibility(int typeIndex, quint16 lastInput, quint16 lastOutput) {
    for (int i = 0; i < ioShown; ++i) {
        inputLamps[i]->hide();
        outputLamps[i]->hide();
        inputNumberLabels[i]->hide();
        outputNumberLabels[i]->hide();
        counterFields[i]->hide();
        counterGetButtons[i]->hide();
    }
    const int inputs = qMin<int>(lastInput, ioShown - 1);
    const int outputs = qMin<int>(lastOutput, ioShown - 1);
    if (typeIndex < 9) {
        for (int i = 0; i <= inputs; ++i) {
            inputLamps[i]->show();
            inputNumberLabels[i]->show();
            counterFields[i]->show();
            counterGetButtons[i]->show();
        }
    }
    if (typeIndex < 11) {
        for (int i = 0; i <= outputs; ++i) {
            outputLamps[i]->show();
            outputNumberLabels[i]->show();
        }
    }
}

void IoDisplay::setCounterBackground(const QColor &c) {
    QPalette pal = pa_co->palette();
    pal.setColor(QPalette::Window, c);
    pa_co->setPalette(pal);
}
