#pragma once
// The lamps, number labels and counter fields that show IoState.
#include "core/iostate.h"

#include <QColor>
#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <array>

class QFrame;

// A round indicator: a filled circle in its colour. A mouse press anywhere on
// it emits pressed() with the button pressed.
class Lamp : public QWidget {
    Q_OBJECT
public:
    explicit Lamp(QWidget *parent);
    QColor color() const { return m_color; }
    void setColor(const QColor &c);
    bool isOn() const;

signals:
    void pressed(Lamp *lamp, Qt::MouseButton button);

protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    QColor m_color;
};

// A counter value box; a click emits clicked().
class CounterField : public QLabel {
    Q_OBJECT
public:
    explicit CounterField(QWidget *parent);

signals:
    void clicked(CounterField *field);

protected:
    void mousePressEvent(QMouseEvent *) override;
};

extern const QColor lampOnColor;  // RGB (0, 255, 0)
extern const QColor lampOffColor; // RGB (0, 128, 0)

// The I/O display: pa_show_io holding pa_io (lamps and labels) and pa_co
// (counter fields and their "Get" buttons). The tables have room for 24
// controls; 16 of each kind exist.
class IoDisplay {
public:
    explicit IoDisplay(QWidget *window);

    QFrame *pa_show_io;
    QFrame *pa_io;
    QLabel *pa_co; // a panel with a caption (shown after the unknown-device lookup)
    std::array<QLabel *, ioTableSize> inputNumberLabels{};
    std::array<Lamp *, ioTableSize> inputLamps{};
    std::array<QLabel *, ioTableSize> outputNumberLabels{};
    std::array<Lamp *, ioTableSize> outputLamps{};
    std::array<CounterField *, ioTableSize> counterFields{};
    std::array<QPushButton *, ioTableSize> counterGetButtons{};

    // Recolours lamps 0..lastInput / 0..lastOutput and rewrites counter fields
    // 0..lastInput; never changes visibility.
    void show(const IoState &io, quint16 lastInput, quint16 lastOutput);
    // Hides everything, then shows what device type index (or -1) shows.
    void applyVisibility(int typeIndex, quint16 lastInput, quint16 lastOutput);
    void setCounterBackground(const QColor &c);
};
