#pragma once
#include <QLabel>

// A label that reacts to a click (the "Local Port" label shows socket states).
class ClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *) override { emit clicked(); }
};
