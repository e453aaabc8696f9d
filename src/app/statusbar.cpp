#include "app/statusbar.h"

StatusBar::StatusBar(QWidget *parent) : QWidget(parent) {
    setAutoFillBackground(true);
    const int widths[3] = {200, 110, 200};
    int left = 0;
    for (int i = 0; i < 3; ++i) {
        m_panels[i] = new QLabel(this);
        m_panels[i]->setGeometry(left, 1, widths[i] - 2, 18);
        m_panels[i]->setFrameShape(QFrame::Panel);
        m_panels[i]->setFrameShadow(QFrame::Sunken);
        m_panels[i]->setAttribute(Qt::WA_TransparentForMouseEvents);
        left += widths[i];
    }
}

void StatusBar::mousePressEvent(QMouseEvent *) { emit clicked(); }
